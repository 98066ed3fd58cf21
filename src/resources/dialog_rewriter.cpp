// SPDX-License-Identifier: MIT
// Rewriting dialog templates on the dialog reader: kept fields are copied,
// titles and the typeface are replaced when the whole text is a find text,
// creation data is scanned unit by unit, and counts and alignment are kept
// consistent with the new lengths.
#include <utility>

#include "resources/item_writer.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

namespace {

struct DialogRewrite {
  UnitView units;  // from the item's start to the end of the image
  ItemWriter writer;
  const ReplacementTable* table = nullptr;
  int32_t* replaced_count = nullptr;
  const ItemContext* item = nullptr;
};

// Records a text looked up at `start` (of `length` units) for the report.
void log_text(DialogRewrite* rw, const DialogField& field, size_t start,
              size_t length, uint32_t hit) {
  RewriteLog* log = rw->item->log;
  if (log == nullptr) return;
  TextRecord record;
  for (uint32_t i = 0; i < kPathLevels; ++i) record.path[i] = rw->item->path[i];
  record.place = place_of(field);
  record.number = field.control_id;
  record.class_ordinal = field.class_ordinal;
  record.class_name =
      units_text(rw->units, field.class_start, field.class_length);
  record.before = units_text(rw->units, start, length);
  if (hit != kNoEntry) {
    const ReplacementEntry& entry = rw->table->entries[hit];
    record.replaced = true;
    record.entry = hit;
    record.after.assign(entry.replacement, entry.replacement_length);
    log->entry_used[hit] = true;
  }
  log->records.push_back(std::move(record));
}

bool copy_field(DialogRewrite* rw, const DialogField& field) {
  return put_units(&rw->writer, rw->units, field.start, field.units);
}

// A text replaced when the whole text equals a find text.
bool rewrite_text(DialogRewrite* rw, const DialogField& field) {
  uint32_t hit = find_replacement(*rw->table, rw->units, field.start);
  log_text(rw, field, field.start, field.units - 1, hit);
  if (hit == kNoEntry) return copy_field(rw, field);
  return put_replacement(&rw->writer, rw->table->entries[hit],
                         rw->replaced_count);
}

// The creation data of a control: its count unit W, then the data, scanned
// at every unit for find texts that lie wholly inside it. The count is
// recomputed for the new length (16-bit arithmetic, as the field is).
bool rewrite_creation_data(DialogRewrite* rw, const DialogField& field,
                           bool extended) {
  size_t count_position = rw->writer.position;
  if (!skip_unit(&rw->writer)) return false;
  uint16_t count = field.creation_count;
  uint16_t new_count = count;
  if (field.data_units > 0) {
    new_count = extended ? 0 : 2;
    size_t source = field.start + 1;
    size_t remaining = field.data_units;
    TextScanner scanner;
    start_scan(&scanner, rw->units, source + remaining);
    size_t data_end = source + remaining;
    size_t copied = source;
    size_t at = 0;
    uint32_t hit = kNoEntry;
    while (source < data_end &&
           scan_next_hit(*rw->table, &scanner, source, data_end, &at, &hit)) {
      const ReplacementEntry& entry = rw->table->entries[hit];
      log_text(rw, field, at, entry.find_length, hit);
      new_count = static_cast<uint16_t>(new_count + 2 * (at - source));
      if (!put_units(&rw->writer, rw->units, copied, at - copied) ||
          !put_replacement(&rw->writer, entry, rw->replaced_count)) {
        return false;
      }
      source = at + size_t{entry.find_length} + 1;
      copied = source;
      new_count =
          static_cast<uint16_t>(new_count + 2 * entry.replacement_length + 2);
    }
    new_count = static_cast<uint16_t>(new_count + 2 * (data_end - source));
    if (!put_units(&rw->writer, rw->units, copied, data_end - copied)) {
      return false;
    }
    if ((count & 1) != 0) new_count = static_cast<uint16_t>(new_count - 1);
  }
  store_u16(
      rw->writer.output->data + rw->writer.output->used + 2 * count_position,
      new_count);
  return true;
}

bool rewrite_field(DialogRewrite* rw, const DialogField& field, bool extended) {
  if (field.part == DialogPart::align) {
    return (rw->writer.position & 1) == 0 || skip_unit(&rw->writer);
  }
  if (field.part == DialogPart::creation_data) {
    return rewrite_creation_data(rw, field, extended);
  }
  if (is_looked_up(field)) return rewrite_text(rw, field);
  return copy_field(rw, field);
}

}  // namespace

RebuildStatus rewrite_dialog(const ItemContext& item, uint32_t* new_size) {
  DialogRewrite rw;
  rw.units = units_from(item.image, item.item_offset);
  rw.writer = ItemWriter{item.output, 0};
  rw.table = item.table;
  rw.replaced_count = item.replaced_count;
  rw.item = &item;

  DialogReader reader;
  DialogField field;
  bool read = start_dialog(&reader, rw.units, item.size);
  while (read && next_dialog_field(&reader, &field)) {
    if (!rewrite_field(&rw, field, reader.extended)) {
      return RebuildStatus::out_of_memory;
    }
  }
  if (reader.reason != InvalidReason::none) {
    if (item.reason != nullptr) *item.reason = reader.reason;
    return RebuildStatus::invalid_image;
  }
  uint64_t bytes = 2 * uint64_t{rw.writer.position};
  if (bytes > UINT32_MAX) return RebuildStatus::out_of_memory;
  *new_size = static_cast<uint32_t>(bytes);
  return RebuildStatus::ok;
}

}  // namespace uitrans
