// SPDX-License-Identifier: MIT
// String tables: blocks of 16 strings, each a unit count and that many units
// (no terminator). Only asked for: without the option the items are copied.
#include <string>
#include <utility>

#include "resources/item_writer.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

bool read_string_block(UnitView units, uint32_t item_size,
                       StringSlot (&strings)[kStringsPerBlock],
                       size_t* end_unit) {
  size_t item_units = item_size / 2;  // whole units within the block
  if (item_units > units.unit_count) return false;
  size_t position = 0;
  for (StringSlot& slot : strings) {
    if (position >= item_units) return false;
    slot.length = units.at(position);
    slot.start = position + 1;
    if (slot.length > item_units - slot.start) return false;
    position = slot.start + slot.length;
  }
  *end_unit = position;
  return true;
}

namespace {

std::string string_place(const ItemSource& item, uint32_t index) {
  return "string " + std::to_string(string_id(item.path[1], index));
}

TextRecord string_record(const ItemSource& item, UnitView units, uint32_t index,
                         const StringSlot& slot) {
  return make_record(item.path, TextPlace::string, string_place(item, index),
                     units_text(units, slot.start, slot.length));
}

void log_string(const ItemContext& item, UnitView units, uint32_t index,
                const StringSlot& slot, uint32_t hit, uint32_t refused) {
  if (item.log == nullptr) return;
  TextRecord record = string_record(item.item, units, index, slot);
  if (hit != kNoEntry) mark_replaced(&record, *item.table, hit, item.log);
  if (refused != kNoEntry) {
    mark_refused(&record, *item.table, refused, item.log);
  }
  item.log->records.push_back(std::move(record));
}

// A string may be a printf format or a FormatMessage one: a translation
// that would be filled in wrongly is kept out (kNoEntry; *refused names it).
uint32_t safe_hit(const ItemContext& item, UnitView units,
                  const StringSlot& slot, uint32_t hit, uint32_t* refused) {
  *refused = kNoEntry;
  if (hit == kNoEntry ||
      placeholders_allow(*item.table, hit,
                         PlaceholderSyntax::printf_and_inserts,
                         units_text(units, slot.start, slot.length))) {
    return hit;
  }
  if (item.notes != nullptr) item.notes->refused += 1;
  *refused = hit;
  return kNoEntry;
}

// A replacement whose length a 16-bit count cannot hold is not applied.
bool put_counted(ItemWriter* writer, const ReplacementEntry& entry) {
  if (!ensure_units(writer, writer->position + entry.replacement_length + 1)) {
    return false;
  }
  uint8_t* at =
      writer->output->data + writer->output->used + 2 * writer->position;
  store_u16(at, static_cast<uint16_t>(entry.replacement_length));
  for (uint32_t i = 0; i < entry.replacement_length; ++i) {
    store_u16(at + 2 + 2 * i, static_cast<uint16_t>(entry.replacement[i]));
  }
  writer->position += size_t{entry.replacement_length} + 1;
  return true;
}

}  // namespace

Outcome rewrite_string_block(const ItemContext& item, uint32_t* new_size) {
  const ItemSource& source = item.item;
  UnitView units = units_from(source.image, source.offset);
  StringSlot strings[kStringsPerBlock];
  size_t end_unit = 0;
  ItemWriter writer{item.output, 0};
  if (!read_string_block(units, source.size, strings, &end_unit)) {
    // A block whose strings do not fit is kept as it is.
    log_malformed(item, TextPlace::string);
    return put_item_bytes(
        &writer, ByteSpan{source.image.data + source.offset, source.size},
        new_size);
  }
  const ReplacementTable& table = *item.table;
  for (uint32_t i = 0; i < kStringsPerBlock; ++i) {
    const StringSlot& slot = strings[i];
    uint32_t hit =
        slot.length == 0
            ? kNoEntry
            : find_counted_text(table, units, slot.start, slot.length);
    if (item.place != nullptr && hit != kNoEntry) {
      hit = resolve_at_place(item, hit, string_place(source, i));
    }
    if (hit != kNoEntry && table.entries[hit].replacement_length > 0xFFFF) {
      hit = kNoEntry;
    }
    uint32_t refused = kNoEntry;
    hit = safe_hit(item, units, slot, hit, &refused);
    log_string(item, units, i, slot, hit, refused);
    bool ok = hit == kNoEntry
                  ? put_units(&writer, units, slot.start - 1, slot.length + 1)
                  : put_counted(&writer, table.entries[hit]);
    if (!ok) return writer_failure(writer);
    if (hit != kNoEntry) *item.replaced_count += 1;
  }
  // Bytes after the 16th string are kept, an odd last byte too.
  uint64_t tail = source.size - 2 * uint64_t{end_unit};
  uint64_t bytes = 2 * uint64_t{writer.position} + tail;
  if (bytes > UINT32_MAX) return size_overflow();
  if (!ensure_units(&writer, writer.position + tail)) {
    return writer_failure(writer);
  }
  std::memcpy(item.output->data + item.output->used + 2 * writer.position,
              source.image.data + source.offset + 2 * end_unit, tail);
  *new_size = static_cast<uint32_t>(bytes);
  return Outcome{};
}

Outcome extract_string_block(const ItemSource& item,
                             std::vector<TextRecord>* records) {
  UnitView units = units_from(item.image, item.offset);
  StringSlot strings[kStringsPerBlock];
  size_t end_unit = 0;
  if (!read_string_block(units, item.size, strings, &end_unit)) {
    return Outcome{};  // kept as it is, as the rewriter keeps it
  }
  for (uint32_t i = 0; i < kStringsPerBlock; ++i) {
    if (strings[i].length == 0) continue;
    records->push_back(string_record(item, units, i, strings[i]));
  }
  return Outcome{};
}

}  // namespace uitrans
