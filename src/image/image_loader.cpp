// SPDX-License-Identifier: MIT
// Reading an executable whole into memory.
#include <new>

#include "image/image_file.h"

namespace uitrans {

Outcome load_image(const platform::NativeString& path, ImageBuffer* image) {
  platform::FileHandle file;
  if (!platform::open_for_reading(path, &file)) {
    return fail(Message::cannot_open_for_reading);
  }
  uint64_t size = 0;
  if (!platform::query_file_size(file, &size)) {
    platform::close_file(&file);
    return fail(Message::error_reading);
  }
  if (size > kMaxImageSize) {
    platform::close_file(&file);
    return fail(Message::too_big);
  }
  image->size = static_cast<size_t>(size);
  // Mapped, only the pages the rebuild patches are copied: verbatim items
  // are read straight from the file's cached pages.
  uint8_t* mapped = nullptr;
  if (platform::map_private(file, image->size, &mapped)) {
    image->data = std::unique_ptr<uint8_t[], ImageRelease>(
        mapped, ImageRelease{image->size});
    platform::close_file(&file);
    return Outcome{};
  }
  // A failed allocation counts as a failed read.
  image->data.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
  bool ok = image->data != nullptr &&
            platform::read_exact(file, image->data.get(), image->size);
  platform::close_file(&file);
  if (!ok) {
    image->data.reset();
    image->size = 0;
    return fail(Message::error_reading);
  }
  return Outcome{};
}

}  // namespace uitrans
