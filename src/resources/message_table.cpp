// SPDX-License-Identifier: MIT
// Message tables: reading the blocks and their entries, and laying the table
// out again with new texts.
#include "resources/message_table.h"

#include <cstring>
#include <utility>

#include "platform/text_codec.h"
#include "resources/code_pages.h"

namespace uitrans {

namespace {

// MESSAGE_RESOURCE_DATA and MESSAGE_RESOURCE_BLOCK.
constexpr uint32_t kBlockArrayStart = 4;
constexpr uint32_t kBlockSize = 12;
constexpr uint32_t kLowIdField = 0;
constexpr uint32_t kHighIdField = 4;
constexpr uint32_t kOffsetField = 8;
// MESSAGE_RESOURCE_ENTRY.
constexpr uint32_t kEntryLengthField = 0;
constexpr uint32_t kEntryFlagsField = 2;
constexpr uint32_t kEntryHeaderSize = 4;
constexpr uint32_t kMaxEntryLength = 0xFFFC;  // a multiple of 4 Length holds

bool fail(MessageTable* table, MessageFault fault) {
  table->fault = fault;
  return false;
}

bool read_blocks(ByteSpan item, MessageTable* table) {
  uint32_t count = 0;
  if (!read_u32(item, 0, &count) ||
      !range_fits(kBlockArrayStart, uint64_t{count} * kBlockSize, item.size)) {
    return fail(table, MessageFault::truncated);
  }
  table->blocks.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = kBlockArrayStart + uint64_t{i} * kBlockSize;
    MessageBlock& block = table->blocks[i];
    if (!read_u32(item, at + kLowIdField, &block.low_id) ||
        !read_u32(item, at + kHighIdField, &block.high_id) ||
        !read_u32(item, at + kOffsetField, &block.entries_offset)) {
      return fail(table, MessageFault::truncated);
    }
    if (block.low_id > block.high_id) {
      return fail(table, MessageFault::bad_block);
    }
    if (block.entries_offset > item.size) {
      return fail(table, MessageFault::entries_outside);
    }
  }
  return true;
}

// Takes one final CR LF or LF off a text.
template <typename Text>
LineBreak take_line_break(Text* text) {
  size_t size = text->size();
  if (size == 0 || (*text)[size - 1] != '\n') return LineBreak::none;
  if (size >= 2 && (*text)[size - 2] == '\r') {
    text->resize(size - 2);
    return LineBreak::crlf;
  }
  text->resize(size - 1);
  return LineBreak::lf;
}

void read_unicode_text(ByteSpan item, MessageEntry* entry) {
  uint64_t end = uint64_t{entry->offset} + entry->length;
  uint16_t unit = 0;
  for (uint64_t at = uint64_t{entry->offset} + kEntryHeaderSize;
       range_fits(at, 2, end); at += 2) {
    if (!read_u16(item, at, &unit) || unit == 0) break;
    entry->text.push_back(static_cast<char16_t>(unit));
  }
  entry->line_break = take_line_break(&entry->text);
  entry->decoded = true;
}

// The line break is taken off the bytes: CR and LF are the same bytes in
// every ANSI code page, and no lead byte of a double-byte code page is
// followed by them. Decoding is left out when only the layout is wanted.
void read_byte_text(ByteSpan item, uint32_t code_page, bool decode,
                    MessageEntry* entry) {
  uint64_t end = uint64_t{entry->offset} + entry->length;
  uint8_t byte = 0;
  for (uint64_t at = uint64_t{entry->offset} + kEntryHeaderSize;
       range_fits(at, 1, end); ++at) {
    if (!read_u8(item, at, &byte) || byte == 0) break;
    entry->raw.push_back(byte);
  }
  std::vector<uint8_t> text = entry->raw;
  entry->line_break = take_line_break(&text);
  if (!decode) return;
  uint32_t page =
      (entry->flags & kMessageUtf8) != 0 ? platform::kUtf8CodePage : code_page;
  entry->decoded =
      platform::decode_code_page(page, text.data(), text.size(), &entry->text);
  if (!entry->decoded) entry->text.clear();
}

// Reads the entries of block `index`, one per id, each following the last.
bool read_block_entries(ByteSpan item, uint32_t index, bool decode,
                        MessageTable* table) {
  const MessageBlock block = table->blocks[index];
  uint64_t offset = block.entries_offset;
  for (uint64_t id = block.low_id; id <= block.high_id; ++id) {
    MessageEntry entry;
    entry.id = static_cast<uint32_t>(id);
    entry.block = index;
    if (!read_u16(item, offset + kEntryLengthField, &entry.length) ||
        !read_u16(item, offset + kEntryFlagsField, &entry.flags)) {
      return fail(table, MessageFault::bad_entry_length);
    }
    if (entry.length < kEntryHeaderSize ||
        !range_fits(offset, entry.length, item.size)) {
      return fail(table, MessageFault::bad_entry_length);
    }
    entry.offset = static_cast<uint32_t>(offset);
    entry.unicode = (entry.flags & kMessageUnicode) != 0;
    if (entry.unicode) {
      read_unicode_text(item, &entry);
    } else {
      read_byte_text(item, table->code_page, decode, &entry);
    }
    offset += entry.length;
    if (offset > table->data_end)
      table->data_end = static_cast<uint32_t>(offset);
    table->entries.push_back(std::move(entry));
  }
  return true;
}

// Every entry takes at least 4 bytes, so a table whose entries are not
// shared cannot name more than a quarter of its size; beyond that the blocks
// only repeat one another, and reading them all would take far too long.
bool count_entries(ByteSpan item, MessageTable* table) {
  uint64_t total = 0;
  for (const MessageBlock& block : table->blocks) {
    total += uint64_t{block.high_id} - block.low_id + 1;
    if (total > item.size / kEntryHeaderSize) {
      return fail(table, MessageFault::too_many_entries);
    }
  }
  return true;
}

// The layout message compilers write: entries right after the block array,
// each block's after the previous block's.
bool is_regular(const MessageTable& table) {
  uint64_t expected =
      kBlockArrayStart + uint64_t{table.blocks.size()} * kBlockSize;
  uint64_t position = expected;
  uint32_t block = UINT32_MAX;
  for (const MessageEntry& entry : table.entries) {
    if (entry.block != block) {
      block = entry.block;
      if (table.blocks[block].entries_offset != position) return false;
    }
    position += entry.length;
  }
  return true;
}

bool read_table(ByteSpan item, uint32_t code_page, bool decode,
                MessageTable* table) {
  *table = MessageTable{};
  table->code_page = code_page;
  if (item.size > UINT32_MAX) return fail(table, MessageFault::too_long);
  if (!read_blocks(item, table) || !count_entries(item, table)) return false;
  table->data_end = static_cast<uint32_t>(kBlockArrayStart +
                                          table->blocks.size() * kBlockSize);
  for (uint32_t i = 0; i < table->blocks.size(); ++i) {
    if (!read_block_entries(item, i, decode, table)) return false;
  }
  table->regular = is_regular(*table);
  return true;
}

// ---- Rebuilding ----

size_t break_units(LineBreak line_break) {
  switch (line_break) {
    case LineBreak::crlf:
      return 2;
    case LineBreak::lf:
      return 1;
    default:
      return 0;
  }
}

// The Length of an entry written with `text`: header, text, line break and
// zero unit, padded to 4 bytes.
uint64_t new_entry_length(const MessageEntry& entry,
                          const std::u16string& text) {
  uint64_t units = uint64_t{text.size()} + break_units(entry.line_break) + 1;
  return align_up(kEntryHeaderSize + 2 * units, 4);
}

void write_new_entry(const MessageEntry& entry, const std::u16string& text,
                     uint16_t length, uint8_t* at) {
  store_u16(at + kEntryLengthField, length);
  store_u16(at + kEntryFlagsField, kMessageUnicode);
  uint8_t* units = at + kEntryHeaderSize;
  for (char16_t unit : text) {
    store_u16(units, static_cast<uint16_t>(unit));
    units += 2;
  }
  if (entry.line_break == LineBreak::crlf) {
    store_u16(units, u'\r');
    units += 2;
  }
  if (entry.line_break != LineBreak::none) store_u16(units, u'\n');
  // The terminator and the padding are the buffer's zeros.
}

// Measures every entry, then writes the block array and the entries.
bool lay_out(ByteSpan item, const MessageTable& table,
             const std::vector<const std::u16string*>& texts,
             std::vector<uint8_t>* out, MessageFault* fault) {
  const size_t count = table.entries.size();
  std::vector<uint16_t> lengths(count);
  uint64_t size = kBlockArrayStart + uint64_t{table.blocks.size()} * kBlockSize;
  for (size_t i = 0; i < count; ++i) {
    const MessageEntry& entry = table.entries[i];
    uint64_t length = entry.length;
    if (i < texts.size() && texts[i] != nullptr) {
      length = new_entry_length(entry, *texts[i]);
    }
    if (length > kMaxEntryLength) {
      *fault = MessageFault::too_long;
      return false;
    }
    lengths[i] = static_cast<uint16_t>(length);
    size += length;
  }
  const uint64_t tail = item.size - table.data_end;
  if (size + tail > UINT32_MAX) {
    *fault = MessageFault::too_long;
    return false;
  }
  out->assign(static_cast<size_t>(size + tail), 0);
  uint8_t* data = out->data();
  store_u32(data, static_cast<uint32_t>(table.blocks.size()));
  uint32_t position = static_cast<uint32_t>(kBlockArrayStart +
                                            table.blocks.size() * kBlockSize);
  uint32_t block = UINT32_MAX;
  for (size_t i = 0; i < count; ++i) {
    const MessageEntry& entry = table.entries[i];
    if (entry.block != block) {
      block = entry.block;
      uint8_t* header = data + kBlockArrayStart + size_t{block} * kBlockSize;
      store_u32(header + kLowIdField, table.blocks[block].low_id);
      store_u32(header + kHighIdField, table.blocks[block].high_id);
      store_u32(header + kOffsetField, position);
    }
    if (i < texts.size() && texts[i] != nullptr) {
      write_new_entry(entry, *texts[i], lengths[i], data + position);
    } else {
      std::memcpy(data + position, item.data + entry.offset, entry.length);
    }
    position += lengths[i];
  }
  if (tail > 0) std::memcpy(data + position, item.data + table.data_end, tail);
  return true;
}

bool any_text(const std::vector<const std::u16string*>& texts) {
  for (const std::u16string* text : texts) {
    if (text != nullptr) return true;
  }
  return false;
}

}  // namespace

bool read_message_table(ByteSpan item, uint16_t language, MessageTable* table) {
  return read_table(item, ansi_code_page(language), true, table);
}

bool write_message_table(ByteSpan item,
                         const std::vector<const std::u16string*>& texts,
                         std::vector<uint8_t>* out, MessageFault* fault) {
  MessageFault ignored = MessageFault::none;
  if (fault == nullptr) fault = &ignored;
  *fault = MessageFault::none;
  MessageTable table;
  // Only the layout is needed: what the old texts say does not matter here.
  if (!read_table(item, kWesternCodePage, false, &table)) {
    *fault = table.fault;
    return false;
  }
  if (texts.size() > table.entries.size()) {
    *fault = MessageFault::bad_texts;
    return false;
  }
  if (!any_text(texts)) {
    out->assign(item.data, item.data + item.size);
    return true;
  }
  return lay_out(item, table, texts, out, fault);
}

}  // namespace uitrans
