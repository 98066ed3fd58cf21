// SPDX-License-Identifier: MIT
// The report of a translation run: what was replaced, what was looked up and
// kept, and which list entries matched nothing. UTF-8, tab-separated, with a
// header row.
#pragma once

#include <string>
#include <vector>

#include "driver/checks.h"
#include "image/image_info.h"
#include "platform/file_ops.h"
#include "replace/replacement_table.h"
#include "resources/text_record.h"

namespace uitrans {

struct Report {
  std::string rows;              // of the executables done so far
  std::vector<bool> entry_used;  // per table entry, over the whole run
  // A run with checks: every row has a last column, `check`, which names
  // the check of a `warning` row.
  bool with_checks = false;
};

// The rows of one executable: each text looked up, replaced, refused or
// kept, and with `findings` (a run with checks) a `warning` row after the
// text's row for each finding of the text.
std::string report_rows(const platform::NativeString& executable,
                        ByteSpan image, const ImageInfo& info,
                        const ReplacementTable& table, const RewriteLog& log,
                        const std::vector<Finding>* findings = nullptr);

void merge_entry_use(Report* report, const RewriteLog& log);

// The whole report: the header, the rows, and a row for every list entry
// that matched nothing.
std::string report_text(const Report& report, const ReplacementTable& table);

}  // namespace uitrans
