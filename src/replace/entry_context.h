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

// A place as contexts name it: the executable's name as given and its own
// file name, and the parts of the place's full name (UTF-8).
struct PlaceName {
  std::string_view file;
  std::string_view own_file;
  std::string_view parts[kPlaceParts];
};

// How specifically `context` names `place`: 0 when it does not; more for
// more parts, and one more for a context limited to this file.
uint32_t context_match(const EntryContext& context, const PlaceName& place);

struct ReplacementTable;  // replacement_table.h

// The variant of `entry` (an entry and the later ones with its find text)
// that applies at `place`: the one whose context names the place most
// specifically, the first of equals, an entry without a context where no
// context names it. kNoEntry when none applies.
uint32_t entry_at_place(const ReplacementTable& table, uint32_t entry,
                        const PlaceName& place);

}  // namespace uitrans
