// SPDX-License-Identifier: MIT
// Writing a rewritten item unit by unit into the rebuild output.
#pragma once

#include <cstring>

#include "resources/rebuild.h"
#include "resources/text_record.h"

namespace uitrans {

// The output side of one item: units are written at `position` from the
// item's start (output->used), growing the output whenever needed.
struct ItemWriter {
  RebuildOutput* output = nullptr;
  size_t position = 0;      // in units
  bool overflowed = false;  // a write failed as the output would pass 4 GiB
};

// Makes room for units [0, end) of the item.
inline bool ensure_units(ItemWriter* writer, uint64_t end) {
  uint64_t needed = uint64_t{writer->output->used} + 2 * end;
  if (needed <= writer->output->capacity) return true;
  // Grow by the headroom again, so a long run of growth stays linear.
  uint64_t capacity = needed + kItemHeadroom;
  if (capacity > UINT32_MAX) {
    writer->overflowed = true;
    return false;
  }
  return reserve_output(writer->output, capacity);
}

// Why a write of the writer failed.
inline Outcome writer_failure(const ItemWriter& writer) {
  return writer.overflowed ? size_overflow() : out_of_memory();
}

// Copies `count` units of `units` from index `first` (the caller keeps them
// inside the view).
inline bool put_units(ItemWriter* writer, UnitView units, size_t first,
                      size_t count) {
  if (count == 0) return true;
  if (!ensure_units(writer, writer->position + count)) return false;
  std::memcpy(
      writer->output->data + writer->output->used + 2 * writer->position,
      units.bytes + 2 * first, 2 * count);
  writer->position += count;
  return true;
}

// Writes `length` units of `text` and a zero unit.
inline bool put_text(ItemWriter* writer, const char16_t* text,
                     uint32_t length) {
  if (!ensure_units(writer, writer->position + length + 1)) return false;
  uint8_t* at =
      writer->output->data + writer->output->used + 2 * writer->position;
  for (uint32_t i = 0; i < length; ++i) {
    store_u16(at + 2 * i, static_cast<uint16_t>(text[i]));
  }
  store_u16(at + 2 * length, 0);
  writer->position += length + 1;
  return true;
}

// Leaves a zero unit (the output is zero-filled beyond what was written).
inline bool skip_unit(ItemWriter* writer) {
  if (!ensure_units(writer, writer->position + 1)) return false;
  writer->position += 1;
  return true;
}

// Applies a hit: the replacement and its terminator go to the output.
inline bool put_replacement(ItemWriter* writer, const ReplacementEntry& entry,
                            int32_t* replaced_count) {
  if (!put_text(writer, entry.replacement, entry.replacement_length)) {
    return false;
  }
  *replaced_count += 1;
  return true;
}

// The entry that applies at the place called `place_name` of the item, of
// the variants of a hit (kNoEntry when none does there); the hit itself when
// the table has no contexts.
inline uint32_t resolve_at_place(const ItemContext& item, uint32_t entry,
                                 std::string_view place_name) {
  if (item.place == nullptr || entry == kNoEntry) return entry;
  const ItemPlace& place = *item.place;
  PlaceName name{place.file,
                 place.own_file,
                 {place.labels.type, place.labels.name, place.labels.language,
                  place_name}};
  return entry_at_place(*item.table, entry, name);
}

// Writes a whole item's bytes (an item read and rebuilt elsewhere, or kept
// as it is) and gives its Size.
inline Outcome put_item_bytes(ItemWriter* writer, ByteSpan bytes,
                              uint32_t* new_size) {
  if (bytes.size > UINT32_MAX) return size_overflow();
  if (!ensure_units(writer, (uint64_t{bytes.size} + 1) / 2)) {
    return writer_failure(*writer);
  }
  if (bytes.size > 0) {
    std::memcpy(writer->output->data + writer->output->used, bytes.data,
                bytes.size);
  }
  *new_size = static_cast<uint32_t>(bytes.size);
  return Outcome{};
}

// An item that does not read is kept as it is, and named in a log.
inline void log_malformed(const ItemContext& item, TextPlace place) {
  if (item.log == nullptr) return;
  TextRecord record = make_record(item.item.path, place, "block", {});
  record.malformed = true;
  item.log->records.push_back(std::move(record));
}

}  // namespace uitrans
