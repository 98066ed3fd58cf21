// SPDX-License-Identifier: MIT
#include "driver/text_output.h"

#include <cstdio>

#include "image/pe_format.h"
#include "resources/resource_kinds.h"

namespace uitrans {

namespace {

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

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// Windows' names of the predefined control classes (ordinals 0x80-0x85).
const char* class_name_of(uint16_t ordinal) {
  static const char* const kNames[] = {"Button",  "Edit",      "Static",
                                       "ListBox", "ScrollBar", "ComboBox"};
  if (ordinal >= 0x80 && ordinal <= 0x85) return kNames[ordinal - 0x80];
  return nullptr;
}

std::string number(uint32_t value) { return std::to_string(value); }

}  // namespace

std::string utf8_of(const std::u16string& text, size_t* lone) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < text.size() &&
        is_low_surrogate(text[i + 1])) {
      uint32_t c = 0x10000 + ((uint32_t{u} - 0xD800) << 10) +
                   (uint32_t{text[i + 1]} - 0xDC00);
      append_code_point(&out, c);
      ++i;
      continue;
    }
    if ((is_high_surrogate(u) || is_low_surrogate(u)) && lone != nullptr) {
      *lone += 1;
    }
    append_code_point(&out, u);
  }
  return out;
}

std::string escape_field(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string resource_label(ByteSpan image, uint64_t root, uint32_t raw_name,
                           uint32_t level) {
  if ((raw_name & pe::kResourceHighBit) != 0) {
    uint64_t at = root + (raw_name & ~pe::kResourceHighBit);
    uint16_t length = 0;
    read_u16(image, at, &length);
    UnitView units = units_from(image, at + 2);
    return utf8_of(units_text(units, 0, length));
  }
  const ResourceKind* kind = level == 1 ? kind_of_type(raw_name) : nullptr;
  if (kind != nullptr) return kind->label;
  if (level == 3) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", raw_name);
    return hex;
  }
  return number(raw_name);
}

std::string place_kind(const TextRecord& record) {
  switch (record.place) {
    case TextPlace::menu_item:
      return "menu item";
    case TextPlace::dialog_title:
      return "dialog title";
    case TextPlace::typeface:
      return "typeface";
    case TextPlace::control_title: {
      std::string name = record.class_name.empty() ? std::string()
                                                   : utf8_of(record.class_name);
      const char* known = class_name_of(record.class_ordinal);
      if (name.empty() && known != nullptr) name = known;
      if (name.empty()) name = "class " + number(record.class_ordinal);
      return "control title (" + name + ")";
    }
    case TextPlace::creation_data:
      return "creation data";
    case TextPlace::string:
      return "string";
    case TextPlace::version_value:
      return "version information: " + record.place_name;
    case TextPlace::message:
      return record.place_name;
  }
  return "";
}

}  // namespace uitrans
