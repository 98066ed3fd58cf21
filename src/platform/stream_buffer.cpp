// SPDX-License-Identifier: MIT
#include <cstring>
#include <new>
#include <utility>

#include "platform/file_ops.h"

namespace uitrans::platform {

bool grow_stream_buffer(FileBytes* bytes, size_t* capacity) {
  size_t grown = *capacity == 0 ? 65536 : *capacity * 2;
  if (grown > kMaxStreamSize) return false;
  std::unique_ptr<uint8_t[]> larger(new (std::nothrow) uint8_t[grown]);
  if (larger == nullptr) return false;
  if (bytes->size > 0) {
    std::memcpy(larger.get(), bytes->data.get(), bytes->size);
  }
  bytes->data = std::move(larger);
  *capacity = grown;
  return true;
}

}  // namespace uitrans::platform
