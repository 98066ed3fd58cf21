// SPDX-License-Identifier: MIT
#include "driver/text_output.h"

#include <cstdio>

#include "common/unicode.h"
#include "image/pe_format.h"
#include "resources/resource_kinds.h"

namespace uitrans {

namespace {

// Windows' names of the predefined control classes (ordinals 0x80-0x85).
const char* class_name_of(uint16_t ordinal) {
  static const char* const kNames[] = {"Button",  "Edit",      "Static",
                                       "ListBox", "ScrollBar", "ComboBox"};
  if (ordinal >= 0x80 && ordinal <= 0x85) return kNames[ordinal - 0x80];
  return nullptr;
}

std::string number(uint32_t value) { return std::to_string(value); }

}  // namespace

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
