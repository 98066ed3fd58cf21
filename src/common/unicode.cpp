// SPDX-License-Identifier: MIT
#include "common/unicode.h"

namespace uitrans {

CodePoint code_point_at(std::u16string_view text, size_t index) {
  uint32_t unit = text[index];
  if (is_high_surrogate(unit) && index + 1 < text.size() &&
      is_low_surrogate(text[index + 1])) {
    uint32_t low = text[index + 1];
    return CodePoint{0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  return CodePoint{unit, 1};
}

void append_code_point(std::string* out, uint32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void append_utf8(std::string* out, std::u16string_view text, size_t* lone) {
  for (size_t i = 0; i < text.size();) {
    CodePoint c = code_point_at(text, i);
    if (is_surrogate(c.value) && lone != nullptr) *lone += 1;
    append_code_point(out, c.value);
    i += c.units;
  }
}

std::string utf8_of(const std::u16string& text, size_t* lone) {
  std::string out;
  out.reserve(text.size());
  append_utf8(&out, text, lone);
  return out;
}

bool decode_utf8(ByteSpan text, size_t position, uint32_t* code_point,
                 size_t* length) {
  uint8_t lead = 0;
  if (!read_u8(text, position, &lead)) return false;
  size_t count = 1;
  uint32_t value = lead;
  uint32_t smallest = 0;
  if (lead >= 0xF0 && lead < 0xF8) {
    count = 4, value = lead & 0x07u, smallest = 0x10000;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    count = 3, value = lead & 0x0Fu, smallest = 0x800;
  } else if (lead >= 0xC0 && lead < 0xE0) {
    count = 2, value = lead & 0x1Fu, smallest = 0x80;
  } else if (lead >= 0x80) {
    return false;
  }
  for (size_t i = 1; i < count; ++i) {
    uint8_t next = 0;
    if (!read_u8(text, position + i, &next) || (next & 0xC0) != 0x80) {
      return false;
    }
    value = value << 6 | (next & 0x3Fu);
  }
  if (value < smallest || value > 0x10FFFF || is_surrogate(value)) {
    return false;
  }
  *code_point = value;
  *length = count;
  return true;
}

bool is_valid_utf8(ByteSpan text) {
  uint32_t code_point = 0;
  size_t length = 0;
  for (size_t i = 0; i < text.size; i += length) {
    if (!decode_utf8(text, i, &code_point, &length)) return false;
  }
  return true;
}

std::u16string utf16_of(const std::string& text) {
  std::u16string units;
  ByteSpan bytes{reinterpret_cast<const uint8_t*>(text.data()), text.size()};
  uint32_t code_point = 0;
  size_t length = 0;
  for (size_t i = 0; decode_utf8(bytes, i, &code_point, &length); i += length) {
    if (code_point < 0x10000) {
      units.push_back(static_cast<char16_t>(code_point));
    } else {
      code_point -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
    }
  }
  return units;
}

}  // namespace uitrans
