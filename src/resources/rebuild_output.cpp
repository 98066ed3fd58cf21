// SPDX-License-Identifier: MIT
// The growable, zero-filled data area of the rebuild.
//
// The allocation grows by at least half its size, so the number of
// reallocations stays logarithmic in the output size even with allocators
// that copy on every reallocation (large blocks are remapped, not copied,
// where the C library can). Only the bytes actually reserved are zeroed, so
// the spare allocation is never touched.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "resources/rebuild.h"

namespace uitrans {

namespace {

bool grow_allocation(RebuildOutput* out, uint64_t needed) {
  uint64_t generous = std::min<uint64_t>(
      UINT32_MAX, uint64_t{out->allocated} + out->allocated / 2);
  uint64_t size = std::max(needed, generous);
  void* grown = std::realloc(out->data, static_cast<size_t>(size));
  if (grown == nullptr && size > needed) {
    size = needed;
    grown = std::realloc(out->data, static_cast<size_t>(size));
  }
  if (grown == nullptr) return false;
  // realloc freed the old block (or kept it): hand the new one to `memory`.
  static_cast<void>(out->memory.release());
  out->memory.reset(static_cast<uint8_t*>(grown));
  out->data = out->memory.get();
  out->allocated = static_cast<uint32_t>(size);
  if (out->prepare_memory != nullptr) out->prepare_memory(grown, size);
  return true;
}

}  // namespace

bool reserve_output(RebuildOutput* out, uint64_t capacity) {
  if (capacity <= out->capacity) return true;
  if (capacity > UINT32_MAX) return false;
  if (capacity > out->allocated && !grow_allocation(out, capacity)) {
    return false;
  }
  std::memset(out->data + out->capacity, 0,
              static_cast<size_t>(capacity - out->capacity));
  out->capacity = static_cast<uint32_t>(capacity);
  return true;
}

void release_output(RebuildOutput* out) { *out = RebuildOutput{}; }

}  // namespace uitrans
