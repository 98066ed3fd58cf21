// The growable, zero-filled data area of the rebuild.
//
// It grows by at least half its capacity, so the number of growths stays
// logarithmic in the output size even with allocators that copy on every
// reallocation (large blocks are remapped, not copied, where the C library
// can).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "resources/rebuild.h"

namespace uitrans {

bool reserve_output(RebuildOutput* out, uint64_t capacity) {
  if (capacity <= out->capacity) return true;
  if (capacity > UINT32_MAX) return false;
  uint64_t generous = std::min<uint64_t>(
      UINT32_MAX, uint64_t{out->capacity} + out->capacity / 2);
  uint64_t size = std::max(capacity, generous);
  void* grown = std::realloc(out->data, static_cast<size_t>(size));
  if (grown == nullptr && size > capacity) {
    size = capacity;
    grown = std::realloc(out->data, static_cast<size_t>(size));
  }
  if (grown == nullptr) return false;
  out->data = static_cast<uint8_t*>(grown);
  std::memset(out->data + out->capacity, 0,
              static_cast<size_t>(size - out->capacity));
  out->reallocations += 1;
  out->bytes_moved += out->used;
  out->capacity = static_cast<uint32_t>(size);
  return true;
}

void release_output(RebuildOutput* out) {
  std::free(out->data);
  *out = RebuildOutput{};
}

}  // namespace uitrans
