// SPDX-License-Identifier: MIT
// Version information as a kind of resource: the value of every String of
// every StringTable is a text looked up whole; keys never change.
#include <utility>

#include "common/unicode.h"
#include "resources/item_writer.h"
#include "resources/text_record.h"
#include "resources/version_info.h"

namespace uitrans {

namespace {

ByteSpan item_bytes(const ItemSource& item) {
  return ByteSpan{item.image.data + item.offset, item.size};
}

TextRecord value_record(const ItemSource& item, const VersionString& value) {
  std::string key = utf8_of(value.key);
  return make_record(item.path, TextPlace::version_value, std::move(key),
                     value.value);
}

// The String's text where it lies in the item, for the lookup.
uint32_t find_value(const ReplacementTable& table, const ItemSource& item,
                    const VersionLayout& layout, const VersionString& value) {
  const VersionNode& node = layout.nodes[value.node];
  UnitView units = units_from(item.image, item.offset + node.value_start);
  return find_counted_text(table, units, 0, value.value.size());
}

}  // namespace

Outcome rewrite_version_info(const ItemContext& context, uint32_t* new_size) {
  const ItemSource& item = context.item;
  ItemWriter writer{context.output, 0};
  VersionLayout layout;
  if (!read_version_info(item_bytes(item), &layout)) {
    log_malformed(context, TextPlace::version_value);
    return put_item_bytes(&writer, item_bytes(item), new_size);
  }
  const ReplacementTable& table = *context.table;
  std::vector<uint32_t> hits(layout.strings.size(), kNoEntry);
  std::vector<std::u16string> replacements(layout.strings.size());
  std::vector<const std::u16string*> values(layout.strings.size(), nullptr);
  int32_t replaced = 0;
  for (size_t i = 0; i < layout.strings.size(); ++i) {
    hits[i] = find_value(table, item, layout, layout.strings[i]);
    if (context.place != nullptr && hits[i] != kNoEntry) {
      hits[i] =
          resolve_at_place(context, hits[i], utf8_of(layout.strings[i].key));
    }
    if (hits[i] == kNoEntry) continue;
    const ReplacementEntry& entry = table.entries[hits[i]];
    replacements[i].assign(entry.replacement, entry.replacement_length);
    values[i] = &replacements[i];
    ++replaced;
  }
  std::vector<uint8_t> rebuilt;
  VersionFault fault = VersionFault::none;
  ByteSpan written = item_bytes(item);
  if (replaced > 0 &&
      write_version_info(item_bytes(item), values, &rebuilt, &fault)) {
    written = ByteSpan{rebuilt.data(), rebuilt.size()};
    *context.replaced_count += replaced;
  } else {
    // A value too long for the 16-bit lengths leaves the block as it was.
    hits.assign(hits.size(), kNoEntry);
  }
  for (size_t i = 0; context.log != nullptr && i < hits.size(); ++i) {
    TextRecord record = value_record(item, layout.strings[i]);
    if (hits[i] != kNoEntry) {
      mark_replaced(&record, table, hits[i], context.log);
    }
    context.log->records.push_back(std::move(record));
  }
  return put_item_bytes(&writer, written, new_size);
}

Outcome extract_version_info(const ItemSource& item,
                             std::vector<TextRecord>* records) {
  VersionLayout layout;
  if (!read_version_info(item_bytes(item), &layout)) return Outcome{};
  for (const VersionString& value : layout.strings) {
    records->push_back(value_record(item, value));
  }
  return Outcome{};
}

}  // namespace uitrans
