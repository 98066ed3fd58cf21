// SPDX-License-Identifier: MIT
// Message tables as a kind of resource: every entry is a text looked up
// whole, without its terminating zeros and one final line break, which a
// translation gets back. A translated entry is written in UTF-16 whatever it
// was, so any translation fits; an 8-bit entry that is no valid text in its
// language's code page is kept and counted.
#include <cstdio>
#include <utility>

#include "resources/item_writer.h"
#include "resources/message_table.h"
#include "resources/text_record.h"

namespace uitrans {

namespace {

ByteSpan item_bytes(const ItemSource& item) {
  return ByteSpan{item.image.data + item.offset, item.size};
}

// The language of the item, as its entry names it (named languages have
// none).
uint16_t item_language(const ItemSource& item) {
  uint32_t name = item.path[2];
  return name <= 0xFFFF ? static_cast<uint16_t>(name) : 0;
}

std::string message_place(uint32_t id) {
  char text[32];
  std::snprintf(text, sizeof text, "message 0x%08X", id);
  return text;
}

TextRecord message_record(const ItemSource& item, const MessageEntry& entry) {
  return make_record(item.path, TextPlace::message, message_place(entry.id),
                     entry.text);
}

}  // namespace

Outcome rewrite_message_table(const ItemContext& context, uint32_t* new_size) {
  const ItemSource& item = context.item;
  ItemWriter writer{context.output, 0};
  MessageTable messages;
  if (!read_message_table(item_bytes(item), item_language(item), &messages)) {
    log_malformed(context, TextPlace::message);
    return put_item_bytes(&writer, item_bytes(item), new_size);
  }
  const ReplacementTable& table = *context.table;
  size_t count = messages.entries.size();
  std::vector<uint32_t> hits(count, kNoEntry);
  std::vector<uint32_t> refused(count, kNoEntry);
  std::vector<std::u16string> replacements(count);
  std::vector<const std::u16string*> texts(count, nullptr);
  int32_t replaced = 0;
  for (size_t i = 0; i < count; ++i) {
    const MessageEntry& entry = messages.entries[i];
    if (!entry.decoded) {
      if (context.notes != nullptr) context.notes->undecodable += 1;
      continue;
    }
    hits[i] = find_text(table, entry.text);
    if (context.place != nullptr && hits[i] != kNoEntry) {
      hits[i] = resolve_at_place(context, hits[i], message_place(entry.id));
    }
    if (hits[i] == kNoEntry) continue;
    if (!placeholders_allow(table, hits[i], PlaceholderSyntax::inserts,
                            entry.text)) {
      // Its inserts would be filled in wrongly: the entry stays as it is.
      if (context.notes != nullptr) context.notes->refused += 1;
      refused[i] = hits[i];
      hits[i] = kNoEntry;
      continue;
    }
    const ReplacementEntry& pair = table.entries[hits[i]];
    replacements[i].assign(pair.replacement, pair.replacement_length);
    texts[i] = &replacements[i];
    ++replaced;
  }
  std::vector<uint8_t> rebuilt;
  MessageFault fault = MessageFault::none;
  ByteSpan written = item_bytes(item);
  if (replaced > 0 &&
      write_message_table(item_bytes(item), texts, &rebuilt, &fault)) {
    written = ByteSpan{rebuilt.data(), rebuilt.size()};
    *context.replaced_count += replaced;
  } else {
    // A text too long for an entry's 16-bit Length leaves the table as it
    // was.
    hits.assign(count, kNoEntry);
  }
  for (size_t i = 0; context.log != nullptr && i < count; ++i) {
    if (!messages.entries[i].decoded) continue;
    TextRecord record = message_record(item, messages.entries[i]);
    if (hits[i] != kNoEntry) {
      mark_replaced(&record, table, hits[i], context.log);
    }
    if (refused[i] != kNoEntry) {
      mark_refused(&record, table, refused[i], context.log);
    }
    context.log->records.push_back(std::move(record));
  }
  return put_item_bytes(&writer, written, new_size);
}

Outcome extract_message_table(const ItemSource& item,
                              std::vector<TextRecord>* records) {
  MessageTable messages;
  if (!read_message_table(item_bytes(item), item_language(item), &messages)) {
    return Outcome{};
  }
  for (const MessageEntry& entry : messages.entries) {
    if (entry.decoded) records->push_back(message_record(item, entry));
  }
  return Outcome{};
}

}  // namespace uitrans
