// SPDX-License-Identifier: MIT
#include "driver/report.h"

#include <algorithm>

#include "common/unicode.h"
#include "driver/text_output.h"

namespace uitrans {

namespace {

constexpr char kHeader[] =
    "status\texecutable\ttype\tname\tlanguage\tplace\tbefore\tafter\tline\n";

std::string text_field(const std::u16string& text) {
  return escape_field(utf8_of(text));
}

std::string entry_text(const char16_t* units, uint32_t length) {
  return text_field(std::u16string(units, length));
}

// "\texe\ttype\tname\tlanguage\tplace" of a record's row.
std::string place_fields(const std::string& name, ByteSpan image,
                         const ImageInfo& info, const TextRecord& record) {
  std::string fields = "\t" + name;
  for (uint32_t level = 1; level <= kPathLevels; ++level) {
    fields += "\t";
    fields += escape_field(resource_label(image, info.resource_raw_pointer,
                                          record.path[level - 1], level));
  }
  // One piece at a time: `"\t" + string` trips a false -Wrestrict in
  // GCC 12's optimiser.
  fields += '\t';
  fields += escape_field(record.place_name);
  return fields;
}

// "\tbefore\tafter\tline": after and line only where a translation matched.
std::string text_fields(const TextRecord& record,
                        const ReplacementTable& table) {
  std::string fields = "\t";
  fields += text_field(record.before);
  fields += "\t";
  if (record.replaced || record.refused) {
    fields += text_field(record.after);
    fields += '\t';
    fields += std::to_string(table.entries[record.entry].line);
  } else {
    fields += "\t";
  }
  return fields;
}

// With --fit, a row for each control widened: its width (cx, in dialog
// units) before and after. Without it no control changes width.
std::string widened_rows(const std::string& name, ByteSpan image,
                         const ImageInfo& info, const RewriteLog& log) {
  std::string rows;
  for (const DialogLayout& layout : log.dialogs) {
    for (const DialogControl& control : layout.controls) {
      if (control.geometry.cx == control.source.cx) continue;
      rows += "widened\t";
      rows += name;
      for (uint32_t level = 1; level <= kPathLevels; ++level) {
        rows += '\t';
        rows += escape_field(resource_label(image, info.resource_raw_pointer,
                                            layout.path[level - 1], level));
      }
      rows += '\t';
      rows += escape_field(control.place_name);
      rows += '\t';
      rows += std::to_string(control.source.cx);
      rows += '\t';
      rows += std::to_string(control.geometry.cx);
      rows += "\t\n";
    }
  }
  return rows;
}

}  // namespace

std::string report_rows(const platform::NativeString& executable,
                        ByteSpan image, const ImageInfo& info,
                        const ReplacementTable& table, const RewriteLog& log,
                        const std::vector<Finding>* findings) {
  std::string name = escape_field(platform::native_to_utf8(executable));
  std::string rows;
  size_t next_finding = 0;
  for (size_t i = 0; i < log.records.size(); ++i) {
    const TextRecord& record = log.records[i];
    // Texts shorter than two units can never match: they are not listed.
    if (!record.replaced && !record.refused && !record.malformed &&
        record.before.size() < 2) {
      continue;
    }
    std::string place = place_fields(name, image, info, record);
    rows += record.replaced    ? "replaced"
            : record.refused   ? "refused"
            : record.malformed ? "malformed"
                               : "kept";
    rows += place;
    rows += text_fields(record, table);
    if (findings != nullptr) rows += '\t';
    rows += "\n";
    for (; findings != nullptr && next_finding < findings->size() &&
           (*findings)[next_finding].record == i;
         ++next_finding) {
      rows += "warning";
      rows += place;
      rows += text_fields(record, table);
      rows += '\t';
      rows += (*findings)[next_finding].check;
      rows += '\n';
    }
  }
  rows += widened_rows(name, image, info, log);
  return rows;
}

void merge_entry_use(Report* report, const RewriteLog& log) {
  for (size_t i = 0; i < log.entry_used.size() && i < report->entry_used.size();
       ++i) {
    if (log.entry_used[i]) report->entry_used[i] = true;
  }
}

std::string report_text(const Report& report, const ReplacementTable& table) {
  std::string text = kHeader;
  if (report.with_checks) {
    text.pop_back();
    text += "\tcheck\n";
  }
  text += report.rows;
  // Unused entries in the order of the list file.
  std::vector<const ReplacementEntry*> unused;
  for (size_t i = 0; i < table.entries.size(); ++i) {
    if (!report.entry_used[i]) unused.push_back(&table.entries[i]);
  }
  std::stable_sort(unused.begin(), unused.end(),
                   [](const ReplacementEntry* a, const ReplacementEntry* b) {
                     return a->line < b->line;
                   });
  for (const ReplacementEntry* entry : unused) {
    text += "unused\t\t\t\t\t\t";
    text += entry_text(entry->find, entry->find_length);
    text += "\t";
    text += entry_text(entry->replacement, entry->replacement_length);
    text += '\t';
    text += std::to_string(entry->line);
    if (report.with_checks) text += '\t';
    text += '\n';
  }
  return text;
}

}  // namespace uitrans
