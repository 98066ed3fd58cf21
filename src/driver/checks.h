// SPDX-License-Identifier: MIT
// Checks of a translation, made on the records of a run: what a translator
// easily breaks without noticing (a mnemonic, the shortcut column of a menu
// item, a placeholder, the punctuation a text ends with). They only warn;
// the one translation that is kept out, whatever the options, is one whose
// placeholders differ (the rewriters refuse it, and it shows here too).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "resources/text_record.h"

namespace uitrans {

struct Finding {
  size_t record = 0;        // into the records checked
  const char* check = "";   // "mnemonic-lost", as the report names it
  std::string explanation;  // UTF-8, short
};

// The findings for `records` (one executable's), in record order.
std::vector<Finding> check_records(const std::vector<TextRecord>& records);

}  // namespace uitrans
