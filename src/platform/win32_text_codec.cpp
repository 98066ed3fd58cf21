// SPDX-License-Identifier: MIT
// Code page decoding through MultiByteToWideChar. MB_ERR_INVALID_CHARS makes
// it fail on bytes the code page does not define instead of substituting a
// default character, so a text that does not decode is never half-guessed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>

#include "platform/text_codec.h"

namespace uitrans::platform {

bool decode_code_page(uint32_t code_page, const uint8_t* bytes, size_t size,
                      std::u16string* text) {
  text->clear();
  if (size == 0) return true;  // the call itself refuses empty input
  if (size > INT_MAX) return false;
  const char* in = reinterpret_cast<const char*>(bytes);
  int in_size = static_cast<int>(size);
  int units = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, in_size,
                                  nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in, in_size,
                          wide.data(), units) != units) {
    return false;
  }
  text->assign(wide.begin(), wide.end());
  return true;
}

}  // namespace uitrans::platform
