// Menu items: the rewriter does not follow the template. It slides over the
// item one unit at a time and replaces every zero-terminated text (or tail
// of a text) that equals a find text, so it serves both menu layouts and
// menus a loader would not accept. Every item text the menu reader finds is
// one of the texts it looks up.
#include "resources/item_writer.h"
#include "resources/templates.h"

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

}  // namespace

RebuildStatus rewrite_menu(const ItemContext& item, uint32_t* new_size) {
  UnitView units = units_from(item.image, item.item_offset);
  size_t unit_count = (size_t{item.size} + 1) / 2;
  bool extended = is_extended_menu(units, unit_count);
  TextScanner scanner;
  start_scan(&scanner, units, unit_count);
  ItemWriter writer{item.output, 0};
  const ReplacementTable& table = *item.table;

  // Units without a hit are copied in runs, one copy per run.
  size_t source = 0;
  size_t copied = 0;
  while (source < unit_count) {
    uint32_t hit = scan_lookup(table, &scanner, source);
    if (hit == kNoEntry) {
      source += 1;
      continue;
    }
    const ReplacementEntry& entry = table.entries[hit];
    if (!put_units(&writer, units, copied, source - copied) ||
        !put_replacement(&writer, entry, item.replaced_count)) {
      return RebuildStatus::out_of_memory;
    }
    source += size_t{entry.find_length} + 1;
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
  *new_size = static_cast<uint32_t>(bytes);
  return RebuildStatus::ok;
}

}  // namespace uitrans
