// SPDX-License-Identifier: MIT
// UTF-16 and UTF-8: the one place that pairs surrogates and encodes code
// points. Resource texts and Windows file names are UTF-16 and may hold a
// surrogate without its partner; such a unit is read as its own code point,
// so that no text is lost or merged with another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace uitrans {

inline bool is_high_surrogate(uint32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}
inline bool is_low_surrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}
inline bool is_surrogate(uint32_t unit) {
  return unit >= 0xD800 && unit < 0xE000;
}

// A code point read from UTF-16 and the units it took.
struct CodePoint {
  uint32_t value = 0;
  size_t units = 1;
};

// The code point at `index` (< text.size()): a high surrogate followed by a
// low one is read as a pair; any other unit, a lone surrogate included, as
// itself.
CodePoint code_point_at(std::u16string_view text, size_t index);

// Appends a code point (at most U+10FFFF) as UTF-8; a surrogate value gets
// its own three-byte form.
void append_code_point(std::string* out, uint32_t code_point);

// Appends UTF-16 text as UTF-8. A lone surrogate is written in its own
// three-byte form (as file names are on Windows) and counted in *lone when
// given.
void append_utf8(std::string* out, std::u16string_view text,
                 size_t* lone = nullptr);

// UTF-8 of UTF-16 units, by the same rule.
std::string utf8_of(const std::u16string& text, size_t* lone = nullptr);

// Decodes the UTF-8 sequence at `position`. Overlong forms, surrogates,
// values beyond U+10FFFF and cut sequences are not valid.
bool decode_utf8(ByteSpan text, size_t position, uint32_t* code_point,
                 size_t* length);

bool is_valid_utf8(ByteSpan text);

// UTF-16 units of UTF-8 text, up to its first sequence that is not valid.
std::u16string utf16_of(const std::string& text);

}  // namespace uitrans
