// The growable, zero-filled data area of the rebuild.
#include <cstdlib>
#include <cstring>

#include "resources/rebuild.h"

namespace uitrans {

bool reserve_output(RebuildOutput* out, uint64_t capacity) {
  if (capacity <= out->capacity) return true;
  if (capacity > UINT32_MAX) return false;
  void* grown = std::realloc(out->data, static_cast<size_t>(capacity));
  if (grown == nullptr) return false;
  out->data = static_cast<uint8_t*>(grown);
  std::memset(out->data + out->capacity, 0,
              static_cast<size_t>(capacity - out->capacity));
  out->reallocations += 1;
  out->bytes_moved += out->used;
  out->capacity = static_cast<uint32_t>(capacity);
  return true;
}

void release_output(RebuildOutput* out) {
  std::free(out->data);
  *out = RebuildOutput{};
}

}  // namespace uitrans
