// SPDX-License-Identifier: MIT
// Contexts of catalogue entries: where an entry applies. A context names a
// place as the references and the report show it, TYPE/NAME/LANG/PLACE
// ("DIALOG/101/0409/control #3"), or any leading part of that name
// ("MENU", "DIALOG/101"), optionally limited to one executable by its file
// name ("app.exe:DIALOG/101").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace uitrans {

inline constexpr uint32_t kPlaceParts = 4;  // type, name, language, place

struct EntryContext {
  std::string file;                // UTF-8; empty for every executable
  std::vector<std::string> parts;  // 1 to kPlaceParts, none empty
  uint32_t line = 0;               // of the msgctxt keyword, from 1
};

// Splits a context (UTF-8). False when a part is empty. The place, the last
// part, is the rest of the text: it may hold a slash.
bool parse_entry_context(std::string_view text, EntryContext* context);

}  // namespace uitrans
