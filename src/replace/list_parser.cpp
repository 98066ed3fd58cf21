// SPDX-License-Identifier: MIT
// Reading the list file: UTF-16 with a byte-order mark, lines of find text
// and replacement text in pairs.
#include <algorithm>
#include <memory>

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
// data guarantees an end.
size_t line_length(const std::vector<char16_t>& units, size_t start) {
  size_t end = start;
  while (!ends_line(units[end])) ++end;
  return end - start;
}

bool starts_with_mark(ByteSpan file_bytes) {
  uint8_t first = 0;
  uint8_t second = 0;
  return read_u8(file_bytes, 0, &first) && read_u8(file_bytes, 1, &second) &&
         ((first == 0xFF && second == 0xFE) ||
          (first == 0xFE && second == 0xFF));
}

// Converts the file bytes into units: a big-endian file is swapped, an odd
// last byte becomes a whole unit, and a line feed and a zero follow the data
// so that the last line always ends. Returns the unit count N (mark included)
// or 0 when the file is not UTF-16.
size_t decode_units(ByteSpan file_bytes, std::vector<char16_t>* units) {
  size_t size = file_bytes.size;
  const uint8_t* data = file_bytes.data;
  // Bytes past the data read as the zero byte that follows it.
  auto byte_at = [&](size_t i) -> unsigned { return i < size ? data[i] : 0; };
  bool big_endian = size >= 2 && data[0] == 0xFE && data[1] == 0xFF;
  // For an odd size the last unit takes in the zero byte after the data
  // (as its high byte, or its low byte once a big-endian pair is swapped).
  size_t count = (size + 1) / 2;
  auto unit_at = [&](size_t i) -> char16_t {
    unsigned first = byte_at(2 * i);
    unsigned second = byte_at(2 * i + 1);
    return static_cast<char16_t>(big_endian ? (first << 8) | second
                                            : first | (second << 8));
  };
  if (unit_at(0) != kByteOrderMark) return 0;
  units->resize(count + 2);
  char16_t* out = units->data();
  for (size_t i = 0; i < count; ++i) out[i] = unit_at(i);
  out[count] = kLineFeed;
  out[count + 1] = 0;
  return count;
}

// Counts lines up to a unit position, a CR LF pair as one line end.
struct LineCounter {
  size_t position = 1;  // after the byte-order mark
  uint32_t line = 1;
};

uint32_t line_at(const std::vector<char16_t>& units, size_t position,
                 LineCounter* counter) {
  for (; counter->position < position; ++counter->position) {
    char16_t unit = units[counter->position];
    bool pair =
        unit == kCarriageReturn && units[counter->position + 1] == kLineFeed;
    if (unit == kLineFeed || (unit == kCarriageReturn && !pair)) {
      counter->line += 1;
    }
  }
  return counter->line;
}

}  // namespace

ListLoadStatus parse_replacement_list(ByteSpan file_bytes,
                                      ReplacementTable* table) {
  *table = ReplacementTable{};
  std::vector<char16_t>& units = table->list_units;
  size_t unit_count = decode_units(file_bytes, &units);
  if (unit_count == 0) return ListLoadStatus::not_unicode;

  std::vector<ReplacementEntry>& entries = table->entries;
  LineCounter lines;
  size_t index = 1;  // after the byte-order mark
  while (index < unit_count) {
    size_t find_length = line_length(units, index);
    size_t find_end = index + find_length;
    if (find_length < 2) {  // empty or one unit: not a find line
      index = find_end + 1;
      continue;
    }
    char16_t terminator = units[find_end];
    // Line ends are counted before the parser overwrites them.
    uint32_t line = line_at(units, index, &lines);
    line_at(units, find_end + 1, &lines);
    units[find_end] = 0;
    size_t replacement_start = find_end + 1;
    if (terminator == kCarriageReturn && units[replacement_start] == kLineFeed)
      ++replacement_start;
    if (replacement_start >= unit_count) break;  // nothing after the find

    size_t replacement_length = line_length(units, replacement_start);
    size_t replacement_end = replacement_start + replacement_length;
    index = replacement_end + 1;
    if (replacement_length < 2) continue;  // drops the pair
    line_at(units, replacement_end + 1, &lines);
    units[replacement_end] = 0;
    entries.push_back(ReplacementEntry{
        units.data() + (find_end - find_length),
        static_cast<uint32_t>(find_length), units.data() + replacement_start,
        static_cast<uint32_t>(replacement_length), line});
  }
  finish_replacement_table(table);
  return ListLoadStatus::ok;
}

namespace {

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
  std::vector<size_t> next(size_t{longest} + 2,
                           0);  // per length, longest first
  for (const ReplacementEntry& entry : *entries) {
    ++next[longest - entry.find_length + 1];
  }
  for (size_t i = 1; i < next.size(); ++i) next[i] += next[i - 1];
  std::vector<ReplacementEntry> sorted(entries->size());
  for (const ReplacementEntry& entry : *entries) {
    sorted[next[longest - entry.find_length]++] = entry;
  }
  entries->swap(sorted);
}

}  // namespace

void finish_replacement_table(ReplacementTable* table) {
  std::vector<ReplacementEntry>& entries = table->entries;
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const ReplacementEntry& entry) {
                                 return entry.find_length < 2 ||
                                        entry.replacement_length < 2;
                               }),
                entries.end());
  order_longest_first(&entries);
  build_lookup_index(table);
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

}  // namespace uitrans
