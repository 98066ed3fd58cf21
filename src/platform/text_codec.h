// SPDX-License-Identifier: MIT
// Text in the code pages of Windows, decoded by the system's own converter
// (iconv on POSIX, MultiByteToWideChar on Win32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace uitrans::platform {

// The Windows code page number of UTF-8.
inline constexpr uint32_t kUtf8CodePage = 65001;

// Decodes `size` bytes in Windows code page `code_page` (1252, 932 ...) to
// UTF-16 in `text`. False when the converter does not know the code page, or
// the bytes are no valid text in it (an invalid or incomplete sequence):
// nothing is guessed. Empty input decodes to an empty text.
bool decode_code_page(uint32_t code_page, const uint8_t* bytes, size_t size,
                      std::u16string* text);

}  // namespace uitrans::platform
