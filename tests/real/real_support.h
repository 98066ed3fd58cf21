// Shared pieces of the tests on executables built by a real toolchain: the
// committed fixtures, the translation list applied to them, and what the
// loader probe prints for a translated image.
#pragma once

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

// What the tool prints for a fixture translated with fixture_translations():
// the summary line, and the growth warning when the section grew in the file.
std::string translation_report(const std::string& name, bool grown);

// A list file: byte-order mark, then find and replacement lines, CR LF.
Bytes list_file(const std::vector<Translation>& translations);

// Path of a committed fixture under tests/fixtures/.
std::string fixture_path(const std::string& name);

std::string utf8(const std::u16string& text);

// A text as the probe prints it between quotes.
std::string probe_escape(const std::u16string& text);

// The printout expected for the translated image: every quoted text, face
// and creation-data text that equals a find text shows its replacement, and
// the creation-data count of a changed text grows by twice the length
// difference. Everything else stays as it was.
std::string translate_printout(const std::string& printout,
                               const std::vector<Translation>& translations);

}  // namespace real
