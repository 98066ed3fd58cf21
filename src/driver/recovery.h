// SPDX-License-Identifier: MIT
// Catalogues recovered from translated programs: the texts of executables,
// each with the text a translated copy holds at the same place.
#pragma once

#include <vector>

#include "driver/extract_command.h"
#include "driver/options.h"

namespace uitrans {

// Lists the texts of the executables with their translations from
// options.translations_from, entries told apart by the most general
// context that keeps different translations of one text apart. Resources
// whose places differ between the two are counted on standard error. False
// when a file could not be read (its message printed).
bool recover_translations(const Options& options,
                          std::vector<ExtractedText>* texts);

}  // namespace uitrans
