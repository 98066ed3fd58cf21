// SPDX-License-Identifier: MIT
// Writing a gettext template (a POT file) of the texts found in executables,
// for translators' PO editors and gettext's own tools.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace uitrans {

// One distinct text and the places it occurs.
struct PotEntry {
  std::u16string text;
  std::string comment;                  // the kind of place, as a "#." line
  std::vector<std::string> references;  // "#:" items: app.exe:MENU/2/0409
  bool has_context = false;
  std::string context;         // msgctxt, UTF-8
  std::u16string translation;  // msgstr; empty in a template
};

// The header's fields (UTF-8).
struct PotHeader {
  std::string project;        // Project-Id-Version
  std::string creation_date;  // POT-Creation-Date, as pot_date gives it
  std::string version;        // of uitrans, for X-Generator
};

// The template in UTF-8: the header entry, then each entry with its
// comments, its msgid and an empty msgstr, wrapped at 79 columns as gettext
// wraps (a text with line breaks is split after each one). An entry whose
// text is not valid UTF-16 (it holds a lone surrogate) cannot be written in
// UTF-8: it is left out and counted in `unwritable`. An entry's non-empty
// translation is its msgstr: a template filled in, by a pseudo-translation
// or from a translated copy.
std::string write_pot(const PotHeader& header,
                      const std::vector<PotEntry>& entries,
                      uint32_t* unwritable);

// A date as the header carries it: "2026-12-07 13:10+0000" for a UTC time.
std::string pot_date(const std::tm& utc);

}  // namespace uitrans
