// SPDX-License-Identifier: MIT
// The languages a run names with --language and --add-language: Windows
// language ids, given as a language tag (en-US, de, zh-Hans), a hexadecimal
// id (0409, 0x0409) or "neutral" for the language-neutral id 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace uitrans {

// A tag and the id Windows gives it (LocaleNameToLCID without neutral
// names: a bare language is its default specific locale).
struct LanguageTag {
  const char* tag;
  uint16_t id;
};

// Sorted by the tag in lower case (language_table.cpp, generated).
extern const LanguageTag kLanguageTags[];
extern const size_t kLanguageTagCount;

// The id of one language as the command line names it; case is ignored.
// False for a name that is neither a known tag nor an id.
bool read_language(std::string_view text, uint16_t* id);

// A comma-separated list of languages, each added once in the order given.
// False, with the first unknown name in *unknown, when one is not known.
bool read_language_list(std::string_view text, std::vector<uint16_t>* ids,
                        std::string* unknown);

}  // namespace uitrans
