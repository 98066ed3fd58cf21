// SPDX-License-Identifier: MIT
// The replacement list: find/replace pairs read from a UTF-16 list file, and
// the whole-text lookup every rewriter uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/bytes.h"
#include "replace/entry_context.h"

namespace uitrans {

// One find/replace pair. Both texts point into the table's list buffer and are
// zero-terminated there; lengths count UTF-16 units without the terminator.
struct ReplacementEntry {
  const char16_t* find = nullptr;
  uint32_t find_length = 0;
  const char16_t* replacement = nullptr;
  uint32_t replacement_length = 0;
  uint32_t line = 0;  // the line of the find text in its file, from 1
};

inline constexpr uint32_t kNoEntry = UINT32_MAX;

// How many units from the end of find texts the suffix filter knows.
inline constexpr uint32_t kSuffixFilterDepth = 8;

// A slot of the lookup index: the first entry (in table order) holding a
// text, with the text itself at hand, so that a lookup reads the slot and the
// text but not the entry.
struct LookupSlot {
  const char16_t* find = nullptr;
  uint32_t length = 0;
  uint32_t entry = kNoEntry;  // kNoEntry marks an empty slot
};

// The entries point into `list_units`: a copy would point into the
// original's buffer, so tables are moved (the buffer moves with its
// pointer), never copied.
struct ReplacementTable {
  ReplacementTable() = default;
  ReplacementTable(const ReplacementTable&) = delete;
  ReplacementTable& operator=(const ReplacementTable&) = delete;
  ReplacementTable(ReplacementTable&&) = default;
  ReplacementTable& operator=(ReplacementTable&&) = default;

  std::unique_ptr<char16_t[]> list_units;  // the buffer entries point into
  size_t list_unit_count = 0;
  std::vector<ReplacementEntry> entries;  // longest find text first, stable
  // Lookup index, built once after parsing.
  std::vector<LookupSlot> slots;  // open addressing, power-of-two size
  // One bit per (length, hash) class, set for every find text: most
  // positions are answered by this small bit array alone.
  std::vector<uint64_t> filter;  // power-of-two number of bits
  uint32_t min_find_length = 0;
  uint32_t max_find_length = 0;
  // One bit per length that some find text has: most tails of a text have
  // a length no find text has, and are skipped without hashing a lookup.
  std::vector<uint64_t> find_lengths;
  // One bit per (length, hash) class of every tail of up to
  // kSuffixFilterDepth units of every find text. A text whose last k units
  // are no find text's last k units has no tail of k units or more that is a
  // find text, so scanning a text from its end stops after a unit or two.
  std::vector<uint64_t> suffix_filter;  // power-of-two number of bits
  // Catalogue entries with a context apply only at the places it names.
  // All three stay empty without contexts, and lookups then cost what they
  // always did: a hit is resolved among its variants only when they exist.
  std::vector<EntryContext> contexts;
  // Per entry: into contexts, or kNoEntry. Filled in file order by the
  // catalogue reader; finish_replacement_table keeps it with its entries.
  std::vector<uint32_t> entry_context;
  // Per entry: the next entry in table order with the same find text, or
  // kNoEntry. The index leads to the first.
  std::vector<uint32_t> next_variant;
  // Told of the entries' and the index's memory before it is first written
  // (the driver passes the platform's large-page hint); may be null. Kept
  // when the table is parsed anew.
  void (*prepare_memory)(void* data, size_t size) = nullptr;
};

// Empties the table for a new parse; only its prepare_memory stays.
inline void reset_table(ReplacementTable* table) {
  auto prepare_memory = table->prepare_memory;
  *table = ReplacementTable{};
  table->prepare_memory = prepare_memory;
}

// Makes room for `count` elements of `items` and shows the memory to the
// table's prepare_memory before anything is written into it.
template <typename T>
void reserve_prepared(const ReplacementTable& table, std::vector<T>* items,
                      size_t count) {
  items->reserve(count);
  if (table.prepare_memory != nullptr && items->capacity() != 0) {
    table.prepare_memory(items->data(), items->capacity() * sizeof(T));
  }
}

enum class ListLoadStatus { ok, cannot_open, not_unicode, catalogue_refused };

// Why a gettext catalogue could not be read, and where.
enum class CatalogueError {
  none,
  syntax,
  invalid_utf8,
  invalid_escape,
  foreign_charset,  // the header names an encoding other than UTF-8
  invalid_context,  // a msgctxt that names no place name's form
};

struct CatalogueProblem {
  CatalogueError error = CatalogueError::none;
  uint32_t line = 0;  // from 1
};

// Parses the raw bytes of a list file into `table` (replacing its contents).
// Returns not_unicode when the bytes do not start with a UTF-16 mark.
ListLoadStatus parse_replacement_list(ByteSpan file_bytes,
                                      ReplacementTable* table);

// A list file's bytes in storage a table can take over: `size` bytes, and
// room for kListSpareBytes more past them, where the parser ends the data.
struct ListBuffer {
  std::unique_ptr<char16_t[]> storage;
  size_t size = 0;
};
inline constexpr size_t kListSpareBytes = 5;

// As parse_replacement_list, in place: the table keeps `buffer`'s storage
// and its entries point into it.
ListLoadStatus parse_replacement_list_in_place(ListBuffer buffer,
                                               ReplacementTable* table);

// Parses a list file's bytes with the reader they call for: a file that
// begins with a UTF-16 byte-order mark is a list whatever its name; one
// without is a catalogue when `catalogue_name`, otherwise not_unicode.
ListLoadStatus parse_list_file(ByteSpan file_bytes, bool catalogue_name,
                               ReplacementTable* table,
                               CatalogueProblem* problem);
// The same, a list parsed in place.
ListLoadStatus parse_list_file_in_place(ListBuffer buffer, bool catalogue_name,
                                        ReplacementTable* table,
                                        CatalogueProblem* problem);

// The rules every source of pairs shares, applied once its entries are in
// the table: entries whose find or replacement text has fewer than two units
// are dropped, the rest ordered longest find text first (stable, so the first
// of equal find texts wins), and the lookup index is built.
void finish_replacement_table(ReplacementTable* table);

// Builds the lookup index; finish_replacement_table calls it.
void build_lookup_index(ReplacementTable* table);

// Links every entry to the next one with the same find text, once entries
// with contexts are in the table; finish_replacement_table calls it.
void link_variants(ReplacementTable* table);

// The first entry, in table order, whose find text equals the zero-terminated
// text at unit `position` of `units`, or kNoEntry. Reaching the end of the
// units before a zero unit is no match.
uint32_t find_replacement(const ReplacementTable& table, UnitView units,
                          size_t position);

// The first entry whose find text equals the `length` units at `position`
// (a counted text, as in string tables), or kNoEntry.
uint32_t find_counted_text(const ReplacementTable& table, UnitView units,
                           size_t position, size_t length);

// The first zero unit in [from, limit) of `units`, or `limit`.
size_t find_zero_unit(UnitView units, size_t from, size_t limit);

// Lookups along one run of units (a menu item or a control's creation
// data), from hit to hit. The scanner holds the run and the hashes of the
// tails of the text under the cursor, so each position costs O(1) whatever
// the size of the table.
struct TextScanner {
  UnitView units;
  size_t scan_end = 0;  // positions at or past this are never asked about
  std::vector<uint64_t> tail_hashes;  // [length] -> hash of the last `length`
                                      // units before a text's zero unit
};

void start_scan(TextScanner* scanner, UnitView units, size_t scan_end);

// Decides at a hit which of the variants of `entry` applies there; kNoEntry
// when none does (then a scan goes on with shorter tails and later texts).
struct HitFilter {
  uint32_t (*resolve)(const void* state, size_t position,
                      uint32_t entry) = nullptr;
  const void* state = nullptr;
};

// The first position in [position, scanner's scan end) at which
// find_replacement would find an entry, and that entry; positions whose text's
// zero unit lies at or past `zero_limit` do not count (creation data: the text
// must end inside the data). False when there is none. One call covers a whole
// run of positions, so a rewriter jumps from hit to hit.
// With a filter, a hit counts only when the filter resolves it to an entry.
bool scan_next_hit(const ReplacementTable& table, TextScanner* scanner,
                   size_t position, size_t zero_limit, size_t* hit_position,
                   uint32_t* hit_entry, const HitFilter* filter = nullptr);

}  // namespace uitrans
