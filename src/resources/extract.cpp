// SPDX-License-Identifier: MIT
#include "resources/extract.h"

#include <utility>

namespace uitrans {

namespace {

struct ExtractWalk {
  ByteSpan image;
  const ImageInfo* info = nullptr;
  std::vector<TextRecord>* texts = nullptr;
  InvalidReason reason = InvalidReason::none;
  bool string_tables = false;
};

TextRecord record_at(const TreeEntry& entry, TextPlace place) {
  TextRecord record;
  for (uint32_t i = 0; i < kPathLevels; ++i) record.path[i] = entry.path[i];
  record.place = place;
  return record;
}

void list_menu(ExtractWalk* walk, const TreeEntry& entry, UnitView units,
               size_t unit_count) {
  MenuReader reader;
  MenuItemText item;
  start_menu(&reader, units, unit_count);
  while (next_menu_item(&reader, &item)) {
    TextRecord record = record_at(entry, TextPlace::menu_item);
    record.number = item.number;
    record.before = units_text(units, item.start, item.length);
    walk->texts->push_back(std::move(record));
  }
}

bool list_dialog(ExtractWalk* walk, const TreeEntry& entry, UnitView units) {
  DialogReader reader;
  DialogField field;
  bool read = start_dialog(&reader, units, entry.data_size);
  while (read && next_dialog_field(&reader, &field)) {
    if (!is_looked_up(field)) continue;
    TextRecord record = record_at(entry, place_of(field));
    record.number = field.control_id;
    record.class_ordinal = field.class_ordinal;
    record.class_name =
        units_text(units, field.class_start, field.class_length);
    record.before = units_text(units, field.start, field.units - 1);
    walk->texts->push_back(std::move(record));
  }
  walk->reason = reader.reason;
  return reader.reason == InvalidReason::none;
}

void list_strings(ExtractWalk* walk, const TreeEntry& entry, UnitView units) {
  StringSlot strings[kStringsPerBlock];
  size_t end_unit = 0;
  if (!read_string_block(units, entry.data_size, strings, &end_unit)) return;
  for (uint32_t i = 0; i < kStringsPerBlock; ++i) {
    if (strings[i].length == 0) continue;
    TextRecord record = record_at(entry, TextPlace::string);
    record.number = string_id(entry.path[1], i);
    record.before = units_text(units, strings[i].start, strings[i].length);
    walk->texts->push_back(std::move(record));
  }
}

// The item of a new data entry, checked as the rebuild checks it.
bool list_item(ExtractWalk* walk, const TreeEntry& entry) {
  uint32_t type = entry.path[0];
  uint64_t size = entry.data_size;
  bool is_menu = type == kResourceTypeMenu;
  uint64_t item = 0;
  if (!locate_item(walk->image, *walk->info, type, entry.data_rva,
                   entry.data_size, &item)) {
    walk->reason = InvalidReason::item_outside;
    return false;
  }
  UnitView units = units_from(walk->image, item);
  if (is_menu) {
    list_menu(walk, entry, units, static_cast<size_t>((size + 1) / 2));
    return true;
  }
  if (type == kResourceTypeDialog) return list_dialog(walk, entry, units);
  if (type == kResourceTypeString && walk->string_tables) {
    list_strings(walk, entry, units);
  }
  return true;
}

}  // namespace

ExtractResult extract_texts(ByteSpan image, const ImageInfo& info,
                            bool string_tables,
                            std::vector<TextRecord>* texts) {
  ExtractResult result;
  uint32_t prefix_size = 0;
  result.status = measure_directory_prefix(image, info.resource_raw_pointer,
                                           &prefix_size, &result.reason);
  if (result.status != RebuildStatus::ok) return result;
  ExtractWalk walk;
  walk.image = image;
  walk.info = &info;
  walk.texts = texts;
  walk.string_tables = string_tables;
  TreeWalk tree;
  bool ok = start_tree_walk(&tree, image, info.resource_raw_pointer, true);
  TreeEntry entry;
  while (ok && next_tree_entry(&tree, &entry)) {
    if (entry.target == EntryTarget::new_data_entry)
      ok = list_item(&walk, entry);
  }
  if (tree.reason != InvalidReason::none) walk.reason = tree.reason;
  if (walk.reason != InvalidReason::none) {
    result.status = RebuildStatus::invalid_image;
    result.reason = walk.reason;
  }
  return result;
}

}  // namespace uitrans
