// SPDX-License-Identifier: MIT
// Texts found or replaced in an image, as extraction lists them and the
// report names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource_tree.h"
#include "resources/templates.h"

namespace uitrans {

// One looked-up text: where it lies and what became of it.
struct TextRecord {
  uint32_t path[kPathLevels] = {};  // raw Names: type, name, language
  TextPlace place = TextPlace::menu_item;
  uint32_t number = 0;         // menu item number, control id or string id
  bool number_known = true;    // false for a menu hit outside any item text
  std::u16string class_name;   // control titles: the class, when a text
  uint16_t class_ordinal = 0;  // control titles: the class, when an ordinal
  std::u16string before;
  std::u16string after;  // the whole new text, when replaced
  bool replaced = false;
  uint32_t entry = 0;      // the table entry that matched, when replaced
  bool malformed = false;  // a string block kept as it is: it does not read
};

// Filled by the rewriters when a report is wanted.
struct RewriteLog {
  std::vector<TextRecord> records;
  std::vector<bool> entry_used;  // per table entry: it matched somewhere
};

// The units [start, start + length) of a view as a string.
inline std::u16string units_text(UnitView units, size_t start, size_t length) {
  std::u16string text;
  text.reserve(length);
  for (size_t i = 0; i < length && start + i < units.unit_count; ++i) {
    text.push_back(static_cast<char16_t>(units.at(start + i)));
  }
  return text;
}

}  // namespace uitrans
