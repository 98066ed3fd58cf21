// SPDX-License-Identifier: MIT
#include <cstring>
#include <new>
#include <utility>

#include "platform/file_ops.h"

namespace uitrans::platform {

bool resize_file_storage(FileBytes* bytes, size_t capacity) {
  if (capacity >= SIZE_MAX - 1) return false;
  // Uninitialised on purpose: a list of megabytes is not zero-filled first.
  size_t units = capacity == 0 ? 1 : capacity / 2 + capacity % 2;
  std::unique_ptr<char16_t[]> larger(new (std::nothrow) char16_t[units]);
  if (larger == nullptr) return false;
  if (bytes->size > 0) {
    std::memcpy(larger.get(), bytes->storage.get(), bytes->size);
  }
  bytes->storage = std::move(larger);
  bytes->capacity = 2 * units;
  return true;
}

bool reserve_spare(FileBytes* bytes, size_t spare) {
  if (bytes->capacity - bytes->size >= spare) return true;
  return spare <= SIZE_MAX - bytes->size &&
         resize_file_storage(bytes, bytes->size + spare);
}

bool grow_stream_buffer(FileBytes* bytes) {
  size_t grown = bytes->capacity == 0 ? 65536 : bytes->capacity * 2;
  if (grown > kMaxStreamSize) return false;
  return resize_file_storage(bytes, grown);
}

}  // namespace uitrans::platform
