// SPDX-License-Identifier: MIT
// Menu items: the rewriter does not follow the template. It slides over the
// item one unit at a time and replaces every zero-terminated text (or tail
// of a text) that equals a find text, so it serves both menu layouts and
// menus a loader would not accept. Every item text the menu reader finds is
// one of the texts it looks up.
#include <utility>
#include <vector>

#include "resources/item_writer.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

namespace {

// Extended menu templates align every item on four bytes. After a hit that
// left output and source out of step by an odd number of units, either the
// source's alignment unit is dropped or one is added to the output.
bool realign_extended(UnitView units, size_t unit_count, size_t* source,
                      ItemWriter* writer) {
  if (((writer->position - *source) & 1) == 0) return true;
  if ((*source & 1) != 0 && *source < unit_count && units.at(*source) == 0) {
    *source += 1;
    return true;
  }
  return skip_unit(writer);
}

struct MenuHit {
  size_t position = 0;
  uint32_t entry = 0;
};

TextRecord menu_record(const ItemContext& item) {
  TextRecord record;
  for (uint32_t i = 0; i < kPathLevels; ++i) record.path[i] = item.path[i];
  record.place = TextPlace::menu_item;
  return record;
}

// Records every item text the menu reader finds, with the hit that fell in
// it, and hits that fell outside every item text. A hit on the tail of a
// text names the whole text before and after.
void log_menu(const ItemContext& item, UnitView units, size_t unit_count,
              const std::vector<MenuHit>& hits) {
  const ReplacementTable& table = *item.table;
  std::vector<bool> hit_logged(hits.size(), false);
  MenuReader reader;
  MenuItemText text;
  start_menu(&reader, units, unit_count);
  size_t next_hit = 0;
  while (next_menu_item(&reader, &text)) {
    TextRecord record = menu_record(item);
    record.number = text.number;
    record.before = units_text(units, text.start, text.length);
    while (next_hit < hits.size() && hits[next_hit].position < text.start) {
      ++next_hit;
    }
    size_t end = text.start + text.length;
    for (size_t h = next_hit; h < hits.size() && hits[h].position < end; ++h) {
      const ReplacementEntry& entry = table.entries[hits[h].entry];
      record.replaced = true;
      record.entry = hits[h].entry;
      record.after =
          units_text(units, text.start, hits[h].position - text.start);
      record.after.append(entry.replacement, entry.replacement_length);
      hit_logged[h] = true;
    }
    item.log->records.push_back(std::move(record));
  }
  for (size_t h = 0; h < hits.size(); ++h) {
    if (hit_logged[h]) continue;
    const ReplacementEntry& entry = table.entries[hits[h].entry];
    TextRecord record = menu_record(item);
    record.number_known = false;
    record.number = static_cast<uint32_t>(hits[h].position);
    record.before = units_text(units, hits[h].position, entry.find_length);
    record.after.assign(entry.replacement, entry.replacement_length);
    record.replaced = true;
    record.entry = hits[h].entry;
    item.log->records.push_back(std::move(record));
  }
}

}  // namespace

RebuildStatus rewrite_menu(const ItemContext& item, uint32_t* new_size) {
  UnitView units = units_from(item.image, item.item_offset);
  size_t unit_count = (size_t{item.size} + 1) / 2;
  bool extended = is_extended_menu(units, unit_count);
  TextScanner scanner;
  start_scan(&scanner, units, unit_count);
  ItemWriter writer{item.output, 0};
  const ReplacementTable& table = *item.table;

  std::vector<MenuHit> hits;  // kept only for a log

  // Units without a hit are copied in runs, one copy per run.
  size_t source = 0;
  size_t copied = 0;
  size_t at = 0;
  uint32_t hit = kNoEntry;
  while (source < unit_count &&
         scan_next_hit(table, &scanner, source, SIZE_MAX, &at, &hit)) {
    const ReplacementEntry& entry = table.entries[hit];
    if (item.log != nullptr) {
      hits.push_back(MenuHit{at, hit});
      item.log->entry_used[hit] = true;
    }
    if (!put_units(&writer, units, copied, at - copied) ||
        !put_replacement(&writer, entry, item.replaced_count)) {
      return RebuildStatus::out_of_memory;
    }
    source = at + size_t{entry.find_length} + 1;
    if (extended && !realign_extended(units, unit_count, &source, &writer)) {
      return RebuildStatus::out_of_memory;
    }
    copied = source;
  }
  if (copied < unit_count &&
      !put_units(&writer, units, copied, unit_count - copied)) {
    return RebuildStatus::out_of_memory;
  }
  uint64_t bytes = 2 * uint64_t{writer.position};
  if (bytes > UINT32_MAX) return RebuildStatus::out_of_memory;
  if (item.log != nullptr) log_menu(item, units, unit_count, hits);
  *new_size = static_cast<uint32_t>(bytes);
  return RebuildStatus::ok;
}

}  // namespace uitrans
