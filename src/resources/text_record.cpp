// SPDX-License-Identifier: MIT
#include "resources/text_record.h"

#include <utility>

namespace uitrans {

TextRecord make_record(const uint32_t* path, TextPlace place,
                       std::string place_name, std::u16string before) {
  TextRecord record;
  for (uint32_t i = 0; i < kPathLevels; ++i) record.path[i] = path[i];
  record.place = place;
  record.place_name = std::move(place_name);
  record.before = std::move(before);
  return record;
}

void mark_replaced(TextRecord* record, const ReplacementTable& table,
                   uint32_t entry, RewriteLog* log) {
  const ReplacementEntry& replacement = table.entries[entry];
  record->replaced = true;
  record->entry = entry;
  record->after.append(replacement.replacement, replacement.replacement_length);
  if (log != nullptr) log->entry_used[entry] = true;
}

void mark_refused(TextRecord* record, const ReplacementTable& table,
                  uint32_t entry, RewriteLog* log) {
  mark_replaced(record, table, entry, log);
  record->replaced = false;
  record->refused = true;
}

bool placeholders_allow(const ReplacementTable& table, uint32_t entry,
                        PlaceholderSyntax syntax,
                        const std::u16string& source) {
  const ReplacementEntry& pair = table.entries[entry];
  std::u16string translation(pair.replacement, pair.replacement_length);
  return compare_placeholders(syntax, source, translation) !=
         PlaceholderVerdict::differs;
}

std::string numbered_place(const char* what, uint32_t id, bool unique,
                           uint32_t number) {
  std::string name = what;
  if (unique) return name + " " + std::to_string(id);
  return name + " #" + std::to_string(number);
}

uint32_t find_text(const ReplacementTable& table, const std::u16string& text) {
  if (text.empty()) return kNoEntry;
  // The lookup reads little-endian units, as they lie in an image.
  std::vector<uint8_t> bytes(2 * text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    store_u16(bytes.data() + 2 * i, static_cast<uint16_t>(text[i]));
  }
  UnitView units{bytes.data(), text.size()};
  return find_counted_text(table, units, 0, text.size());
}

std::u16string units_text(UnitView units, size_t start, size_t length) {
  std::u16string text;
  text.reserve(length);
  for (size_t i = 0; i < length && start + i < units.unit_count; ++i) {
    text.push_back(static_cast<char16_t>(units.at(start + i)));
  }
  return text;
}

}  // namespace uitrans
