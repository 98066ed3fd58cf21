// SPDX-License-Identifier: MIT
// Message tables (RT_MESSAGETABLE): MESSAGE_RESOURCE_DATA, that is
//   u32 NumberOfBlocks, then per block {u32 LowId, u32 HighId,
//   u32 OffsetToEntries} (the offset from the item's start),
// and at each block's offset one MESSAGE_RESOURCE_ENTRY per id from LowId to
// HighId, one after another: {u16 Length (the whole entry, header and
// padding included), u16 Flags}, then the zero-terminated text, zero padded.
// Flags 1 means UTF-16LE, 0 an 8-bit text in the ANSI code page of the
// item's language (2, which newer message compilers write, means UTF-8).
//
// The reader lists the entries; the writer uses the same reader, so listing
// and rewriting cannot disagree. Offsets count bytes from the item's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace uitrans {

// Why a message table was refused (tests assert it; never printed).
enum class MessageFault : uint8_t {
  none,
  truncated,         // the block count or the block array does not fit
  bad_block,         // LowId above HighId
  entries_outside,   // OffsetToEntries past the end of the item
  bad_entry_length,  // an entry's Length below its header or past the end
  too_many_entries,  // the blocks name more entries than the item can hold
  too_long,          // writer: an entry or the table outgrows its fields
  bad_texts,         // writer: more new texts than entries
};

// The line break a message ends with: message compilers end every message
// with one, and the writer gives it back after a new text.
enum class LineBreak : uint8_t { none, lf, crlf };

inline constexpr uint16_t kMessageUnicode = 0x0001;
inline constexpr uint16_t kMessageUtf8 = 0x0002;

struct MessageBlock {
  uint32_t low_id = 0;
  uint32_t high_id = 0;
  uint32_t entries_offset = 0;
};

struct MessageEntry {
  uint32_t id = 0;
  uint32_t block = 0;   // index into MessageTable::blocks
  uint32_t offset = 0;  // the entry's Length field
  uint16_t length = 0;  // Length as stored
  uint16_t flags = 0;
  bool unicode = false;  // Flags says UTF-16LE
  // The text is the entry's: false for 8-bit bytes that are no valid text in
  // their code page (then `text` is empty and only `raw` says what is there).
  bool decoded = false;
  // Up to the first zero unit (or byte), without one final line break.
  std::u16string text;
  LineBreak line_break = LineBreak::none;
  // 8-bit entries: the bytes up to the first zero byte, line break included.
  std::vector<uint8_t> raw;
};

struct MessageTable {
  std::vector<MessageBlock> blocks;
  std::vector<MessageEntry> entries;  // block by block, id by id
  uint32_t code_page = 0;  // what the 8-bit entries were decoded with
  uint32_t data_end = 0;   // where the furthest entry ends
  // The entries lie as message compilers lay them out: right after the block
  // array, block after block, without gaps or sharing.
  bool regular = false;
  MessageFault fault = MessageFault::none;
};

// Reads the table `item` of language `language` (a LANGID: its 8-bit
// entries are decoded in the language's ANSI code page). False (with
// table->fault) when a block or an entry does not fit in the item.
bool read_message_table(ByteSpan item, uint16_t language, MessageTable* table);

// Rebuilds `item` with new texts: `texts` is parallel to the listed entries
// (it may be shorter), null keeps an entry. With nothing replaced the output
// is the item. Otherwise the table is laid out as message compilers lay it
// out: the block array, then each block's entries in block order, every
// OffsetToEntries and Length computed again; a kept entry is copied byte for
// byte, a replaced one (UTF-16 or 8-bit before) is written in UTF-16, Flags
// 1: the text, the entry's line break, a zero unit, zeros to a multiple of 4
// bytes. A table laid out otherwise (entries shared between blocks, out of
// order, or with gaps) comes out in that layout too: every block still finds
// its entries, bytes no block points to are not kept. Bytes after the
// furthest entry follow the new entries. False (with *fault) when the item
// does not read, or a text makes an entry too long for its 16-bit Length.
bool write_message_table(ByteSpan item,
                         const std::vector<const std::u16string*>& texts,
                         std::vector<uint8_t>* out, MessageFault* fault);

}  // namespace uitrans
