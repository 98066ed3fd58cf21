// SPDX-License-Identifier: MIT
// Shared pieces of the tests on executables built by a real toolchain: the
// committed fixtures, the translation list applied to them, and what the
// loader probe prints for a translated image.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pe_builder.h"

namespace real {

using testsupport::Bytes;

struct Translation {
  std::u16string find;
  std::u16string replacement;
};

// English texts of the fixtures' menus and dialogs with their German
// counterparts. Some grow, some shrink, by odd and even unit counts; none is
// the tail of another menu text, so every hit is a whole text.
const std::vector<Translation>& fixture_translations();

// Hits of fixture_translations() in each fixture: 11 menu texts and 16
// dialog texts (two of them in creation data).
inline constexpr int kFixtureHits = 27;

// Further hits with string tables translated: the fixtures' one string block
// holds "&File", "About" and "Recent &Files".
inline constexpr int kFixtureStringHits = 3;

// What the tool prints for a fixture translated with `hits` replacements:
// the summary line, and the growth warning when the section grew in the file.
std::string translation_report(const std::string& name, int hits, bool grown);

// A list file: byte-order mark, then find and replacement lines, CR LF.
Bytes list_file(const std::vector<Translation>& translations);

// Path of a committed fixture under tests/fixtures/.
std::string fixture_path(const std::string& name);

std::string utf8(const std::u16string& text);

// The lines of a printout, without their ends; a last line without one
// counts too.
std::vector<std::string> lines_of(const std::string& printout);

// A text as the probe prints it between quotes.
std::string probe_escape(const std::u16string& text);

// The printout expected for the translated image: every quoted text, face
// and creation-data text that equals a find text shows its replacement, and
// the creation-data count of a changed text grows by twice the length
// difference; strings of string tables only when `string_tables`.
// Everything else stays as it was, version texts and messages among it.
std::string translate_printout(const std::string& printout,
                               const std::vector<Translation>& translations,
                               bool string_tables);

// The texts the loader shows in a printout that a list line can hold: menu
// item texts, window and control titles, dialog typefaces and, when
// `string_tables`, strings; not creation data, version texts or messages,
// not ordinal titles (shown starting with U+FFFF), nor texts with line
// breaks or of fewer than two units.
std::set<std::u16string> printout_texts(const std::string& printout,
                                        bool string_tables);

}  // namespace real
