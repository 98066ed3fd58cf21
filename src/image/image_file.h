// SPDX-License-Identifier: MIT
// Reading an executable file whole into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/bytes.h"
#include "common/outcome.h"
#include "platform/file_ops.h"

namespace uitrans {

inline constexpr uint64_t kMaxImageSize = 524288000;  // 500 MiB, accepted

// Releases an image buffer: a private mapping of the file, or heap memory.
struct ImageRelease {
  size_t mapped_size = 0;  // 0: allocated with new[]
  void operator()(uint8_t* data) const {
    if (mapped_size != 0) {
      platform::unmap(data, mapped_size);
    } else {
      delete[] data;
    }
  }
};

// The whole executable file in memory (a private mapping where the platform
// has one, else one heap buffer), modified in place by the rebuild and the
// output stages; the file itself is never changed through it.
struct ImageBuffer {
  std::unique_ptr<uint8_t[], ImageRelease> data;
  size_t size = 0;

  ByteSpan span() const { return ByteSpan{data.get(), size}; }
  bool mapped() const { return data.get_deleter().mapped_size != 0; }
};

// Ends with cannot_open_for_reading, too_big or error_reading when the file
// could not be read whole.
Outcome load_image(const platform::NativeString& path, ImageBuffer* image);

}  // namespace uitrans
