// SPDX-License-Identifier: MIT
// Reading the list file: UTF-16 with a byte-order mark, lines of find text
// and replacement text in pairs.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

#include "replace/po_catalogue.h"
#include "replace/replacement_table.h"

namespace uitrans {

namespace {

constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kCarriageReturn = 0x000D;
constexpr char16_t kByteOrderMark = 0xFEFF;

bool ends_line(char16_t unit) {
  return unit == kLineFeed || unit == kCarriageReturn || unit == 0;
}

// Length of the line starting at `start`; the sentinel line feed after the
// data guarantees an end. Every unit that ends a line is below the first
// printable one, so most units cost one comparison.
size_t line_length(const char16_t* units, size_t start) {
  size_t end = start;
  while (units[end] > kCarriageReturn || !ends_line(units[end])) ++end;
  return end - start;
}

bool starts_with_mark(ByteSpan file_bytes) {
  uint8_t first = 0;
  uint8_t second = 0;
  return read_u8(file_bytes, 0, &first) && read_u8(file_bytes, 1, &second) &&
         ((first == 0xFF && second == 0xFE) ||
          (first == 0xFE && second == 0xFF));
}

char16_t swap_bytes(char16_t unit) {
  return static_cast<char16_t>((unit >> 8) | (unit << 8));
}

// Turns the file bytes in `buffer` into units where they lie: a file in the
// other byte order than this machine's is swapped, an odd last byte becomes
// a whole unit with the zero byte after it (its high byte, or its low byte
// once a big-endian pair is swapped), and a line feed and a zero follow the
// data so that the last line always ends. Returns the number of units (the
// mark included) or 0 when the file is not UTF-16.
size_t prepare_units(const ListBuffer& buffer) {
  size_t size = buffer.size;
  char16_t* units = buffer.storage.get();
  auto* bytes = reinterpret_cast<uint8_t*>(units);
  size_t count = (size + 1) / 2;
  if (size % 2 != 0) bytes[size] = 0;
  bool big_endian = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  bool swap = big_endian != (std::endian::native == std::endian::big);
  if (count == 0) return 0;
  char16_t mark = swap ? swap_bytes(units[0]) : units[0];
  if (mark != kByteOrderMark) return 0;
  if (swap) {
    for (size_t i = 0; i < count; ++i) units[i] = swap_bytes(units[i]);
  }
  units[count] = kLineFeed;
  units[count + 1] = 0;
  return count;
}

// Whether the unit that ends a line at `end` counts as a line break: a line
// feed, or a carriage return not followed by one (a CR LF pair counts at its
// line feed). A zero unit ends a line without counting. The unit after is
// read before the parser overwrites anything past `end`.
uint32_t counts_as_break(const char16_t* units, size_t end) {
  char16_t unit = units[end];
  bool alone_return = unit == kCarriageReturn && units[end + 1] != kLineFeed;
  return unit == kLineFeed || alone_return ? 1 : 0;
}

// At most one pair per two lines. The line ends of the commoner kind in the
// first units, scaled to the whole list with a margin, size the entries once
// instead of growing them entry by entry; a second pass over megabytes would
// cost as much as the parse. A list denser further on only grows the entries
// as usual. No more than a pair per eight units (two two-unit texts, each
// with a CR LF) is reserved.
size_t estimate_pairs(const char16_t* units, size_t count) {
  constexpr size_t kSample = 32768;
  size_t sample = std::min(count, kSample);
  size_t line_feeds = 0;
  size_t returns = 0;
  for (size_t i = 0; i < sample; ++i) {
    line_feeds += units[i] == kLineFeed ? 1 : 0;
    returns += units[i] == kCarriageReturn ? 1 : 0;
  }
  size_t sampled_pairs = std::max(line_feeds, returns) / 2 + 1;
  size_t scaled = sampled_pairs * (count / sample) +
                  sampled_pairs * (count % sample) / sample;
  return std::min(scaled + scaled / 4, count / 8) + 1;
}

// Every unit of the data is met once: each line is scanned up to the unit
// that ends it, which is counted as a line break before it is overwritten.
void parse_units(char16_t* units, size_t unit_count,
                 std::vector<ReplacementEntry>* entries) {
  uint32_t line = 1;  // of the unit at `index`
  size_t index = 1;   // after the byte-order mark
  while (index < unit_count) {
    size_t find_length = line_length(units, index);
    size_t find_end = index + find_length;
    uint32_t find_line = line;
    line += counts_as_break(units, find_end);
    if (find_length < 2) {  // empty or one unit: not a find line
      index = find_end + 1;
      continue;
    }
    char16_t terminator = units[find_end];
    units[find_end] = 0;
    size_t replacement_start = find_end + 1;
    if (terminator == kCarriageReturn &&
        units[replacement_start] == kLineFeed) {
      line += 1;  // the line feed of the pair
      ++replacement_start;
    }
    if (replacement_start >= unit_count) break;  // nothing after the find

    size_t replacement_length = line_length(units, replacement_start);
    size_t replacement_end = replacement_start + replacement_length;
    line += counts_as_break(units, replacement_end);
    index = replacement_end + 1;
    if (replacement_length < 2) continue;  // drops the pair
    units[replacement_end] = 0;
    entries->push_back(ReplacementEntry{
        units + find_end - find_length, static_cast<uint32_t>(find_length),
        units + replacement_start, static_cast<uint32_t>(replacement_length),
        find_line});
  }
}

// The bytes copied into storage of their own, for callers that hold them
// elsewhere.
ListBuffer copy_to_buffer(ByteSpan file_bytes) {
  ListBuffer buffer;
  size_t units = (file_bytes.size + kListSpareBytes + 1) / 2;
  buffer.storage.reset(new char16_t[units]);
  buffer.size = file_bytes.size;
  if (file_bytes.size > 0) {
    std::memcpy(buffer.storage.get(), file_bytes.data, file_bytes.size);
  }
  return buffer;
}

}  // namespace

ListLoadStatus parse_replacement_list_in_place(ListBuffer buffer,
                                               ReplacementTable* table) {
  reset_table(table);
  size_t unit_count = prepare_units(buffer);
  if (unit_count == 0) return ListLoadStatus::not_unicode;
  table->list_units = std::move(buffer.storage);
  table->list_unit_count = unit_count + 2;
  reserve_prepared(*table, &table->entries,
                   estimate_pairs(table->list_units.get(), unit_count));
  parse_units(table->list_units.get(), unit_count, &table->entries);
  finish_replacement_table(table);
  return ListLoadStatus::ok;
}

ListLoadStatus parse_replacement_list(ByteSpan file_bytes,
                                      ReplacementTable* table) {
  return parse_replacement_list_in_place(copy_to_buffer(file_bytes), table);
}

namespace {

// The place of each entry once the entries are ordered longest find text
// first, equal lengths in table order: one counting-sort pass.
void stable_places(const std::vector<ReplacementEntry>& entries,
                   uint32_t longest, size_t* places) {
  std::vector<size_t> next(size_t{longest} + 2, 0);
  for (const ReplacementEntry& entry : entries) {
    ++next[longest - entry.find_length + 1];
  }
  for (size_t i = 1; i < next.size(); ++i) next[i] += next[i - 1];
  for (size_t i = 0; i < entries.size(); ++i) {
    places[i] = next[longest - entries[i].find_length]++;
  }
}

// Moves every entry to its place, cycle by cycle, without a second array of
// entries.
void move_to_places(std::vector<ReplacementEntry>* entries, size_t* places) {
  for (size_t i = 0; i < entries->size(); ++i) {
    while (places[i] != i) {
      size_t target = places[i];
      std::swap((*entries)[i], (*entries)[target]);
      std::swap(places[i], places[target]);
    }
  }
}

// Longest find text first; equal lengths keep their order in the file. A
// counting sort by length takes linear time; a list whose longest text is
// far longer than it has entries is sorted by comparison instead, so the
// counts never take more memory than the entries.
void order_longest_first(std::vector<ReplacementEntry>* entries) {
  uint32_t longest = 0;
  for (const ReplacementEntry& entry : *entries) {
    longest = std::max(longest, entry.find_length);
  }
  if (longest > 4 * entries->size() + 1024) {
    std::stable_sort(entries->begin(), entries->end(),
                     [](const ReplacementEntry& a, const ReplacementEntry& b) {
                       return a.find_length > b.find_length;
                     });
    return;
  }
  // Uninitialised: every place is written before it is read.
  std::unique_ptr<size_t[]> places(new size_t[entries->size()]);
  stable_places(*entries, longest, places.get());
  move_to_places(entries, places.get());
}

}  // namespace

namespace {

// Entries move when they are dropped and ordered; their lines (of a
// catalogue, each its own) say again which context is whose.
void reattach_contexts(ReplacementTable* table,
                       const std::unordered_map<uint32_t, uint32_t>& by_line) {
  table->entry_context.assign(table->entries.size(), kNoEntry);
  for (size_t i = 0; i < table->entries.size(); ++i) {
    auto found = by_line.find(table->entries[i].line);
    if (found != by_line.end()) table->entry_context[i] = found->second;
  }
  link_variants(table);
}

}  // namespace

void finish_replacement_table(ReplacementTable* table) {
  std::vector<ReplacementEntry>& entries = table->entries;
  std::unordered_map<uint32_t, uint32_t> context_by_line;
  for (size_t i = 0; i < table->entry_context.size() && i < entries.size();
       ++i) {
    if (table->entry_context[i] != kNoEntry) {
      context_by_line.emplace(entries[i].line, table->entry_context[i]);
    }
  }
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const ReplacementEntry& entry) {
                                 return entry.find_length < 2 ||
                                        entry.replacement_length < 2;
                               }),
                entries.end());
  order_longest_first(&entries);
  build_lookup_index(table);
  if (context_by_line.empty()) {
    table->entry_context.clear();
    return;
  }
  reattach_contexts(table, context_by_line);
}

ListLoadStatus parse_list_file(ByteSpan file_bytes, bool catalogue_name,
                               ReplacementTable* table,
                               CatalogueProblem* problem) {
  if (catalogue_name && !starts_with_mark(file_bytes)) {
    CatalogueProblem ignored;
    return parse_catalogue(file_bytes, table,
                           problem != nullptr ? problem : &ignored);
  }
  return parse_replacement_list(file_bytes, table);
}

ListLoadStatus parse_list_file_in_place(ListBuffer buffer, bool catalogue_name,
                                        ReplacementTable* table,
                                        CatalogueProblem* problem) {
  ByteSpan file_bytes{reinterpret_cast<const uint8_t*>(buffer.storage.get()),
                      buffer.size};
  if (catalogue_name && !starts_with_mark(file_bytes)) {
    CatalogueProblem ignored;
    return parse_catalogue(file_bytes, table,
                           problem != nullptr ? problem : &ignored);
  }
  return parse_replacement_list_in_place(std::move(buffer), table);
}

}  // namespace uitrans
