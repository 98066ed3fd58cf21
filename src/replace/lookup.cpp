// SPDX-License-Identifier: MIT
// Whole-text lookup of find texts.
//
// At most one distinct find text can equal the zero-terminated text at a
// position, so the lookup needs only the text's length and content: the
// index maps (length, hash) to the first entry holding that text. The hash is
// polynomial, evaluated from the end of the text, so the hashes of all tails of
// a text come out of one backward pass.
#include <algorithm>
#include <bit>
#include <cstring>

#include "replace/lookup_index.h"
#include "replace/replacement_table.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define UITRANS_SSE2 1
#endif

namespace uitrans {

namespace {

// Mixes a text's hash and length into the key that places it in the index
// and in the filter.
uint64_t mix_key(uint64_t hash, uint32_t length) {
  return (hash ^ (uint64_t{length} * 0x9E3779B97F4A7C15ull)) *
         0xBF58476D1CE4E5B9ull;
}

size_t slot_of(uint64_t key, size_t mask) {
  return static_cast<size_t>(key >> 20) & mask;
}

// The filter word of a key, taken from other bits than its slot, and the
// two bits of that word the key sets: two bits cut the texts that pass
// without a find text to a quarter for the price of one memory access.
size_t filter_word(uint64_t key, size_t word_count) {
  return static_cast<size_t>(key >> 40 ^ key) & (word_count - 1);
}

uint64_t filter_mask(uint64_t key) {
  return uint64_t{1} << (key >> 26 & 63) | uint64_t{1} << (key >> 52 & 63);
}

// The suffix filter bit of a key, from yet other bits.
size_t suffix_bit(uint64_t key, size_t bit_count) {
  return static_cast<size_t>(key >> 32 ^ key >> 8) & (bit_count - 1);
}

bool bit_is_set(const std::vector<uint64_t>& bits, size_t bit) {
  return (bits[bit / 64] >> (bit % 64) & 1) != 0;
}

void set_bit(std::vector<uint64_t>* bits, size_t bit) {
  (*bits)[bit / 64] |= uint64_t{1} << (bit % 64);
}

bool filter_has(const ReplacementTable& table, uint64_t key) {
  uint64_t mask = filter_mask(key);
  return (table.filter[filter_word(key, table.filter.size())] & mask) == mask;
}

// Whether some find text ends with the `length` units whose hash is `hash`.
bool suffix_known(const ReplacementTable& table, uint64_t hash,
                  uint32_t length) {
  uint64_t key = mix_key(hash, length);
  return bit_is_set(table.suffix_filter,
                    suffix_bit(key, 64 * table.suffix_filter.size()));
}

bool text_equals(const char16_t* text, uint32_t length, UnitView units,
                 size_t position) {
  if (position > units.unit_count || length > units.unit_count - position) {
    return false;
  }
  if constexpr (std::endian::native == std::endian::little) {
    // The units of a little-endian host are the file's bytes.
    return std::memcmp(text, units.bytes + 2 * position, 2 * size_t{length}) ==
           0;
  }
  for (uint32_t i = 0; i < length; ++i) {
    if (units.at(position + i) != static_cast<uint16_t>(text[i])) return false;
  }
  return true;
}

}  // namespace

uint32_t probe_index(const ReplacementTable& table, uint64_t hash,
                     uint32_t length, UnitView units, size_t position) {
  uint64_t key = mix_key(hash, length);
  if (!filter_has(table, key)) return kNoEntry;
  size_t mask = table.slots.size() - 1;
  for (size_t slot = slot_of(key, mask);; slot = (slot + 1) & mask) {
    const LookupSlot& candidate = table.slots[slot];
    if (candidate.entry == kNoEntry) return kNoEntry;
    if (candidate.length != length) continue;
#if defined(__GNUC__)
    // A hit's entry is read next: fetch it while the text is compared.
    __builtin_prefetch(&table.entries[candidate.entry]);
#endif
    if (text_equals(candidate.find, length, units, position)) {
      return candidate.entry;
    }
  }
}

namespace {

bool has_find_length(const ReplacementTable& table, size_t length) {
  return length / 64 < table.find_lengths.size() &&
         bit_is_set(table.find_lengths, length);
}

// Hashes the text of `length` units ending before `end` from its end. Stops
// early, returning false, when its last k units (k up to the filter's depth)
// end no find text: then neither this text nor any longer one is a find text.
bool hash_known_text(const ReplacementTable& table, const uint8_t* end,
                     size_t length, uint64_t* hash_out) {
  uint64_t hash = 0;
  size_t depth = std::min<size_t>(length, kSuffixFilterDepth);
  for (size_t k = 1; k <= depth; ++k) {
    hash = prepend_unit(hash, unit_before(end, k));
    if (!suffix_known(table, hash, static_cast<uint32_t>(k))) return false;
  }
  for (size_t k = depth + 1; k <= length; ++k) {
    hash = prepend_unit(hash, unit_before(end, k));
  }
  *hash_out = hash;
  return true;
}

}  // namespace

size_t find_zero_unit(UnitView units, size_t from, size_t limit) {
  limit = std::min(limit, units.unit_count);
  size_t at = from;
#ifdef UITRANS_SSE2
  // Eight units at a time; the bytes may sit at any address.
  const __m128i zero = _mm_setzero_si128();
  for (; at + 8 <= limit; at += 8) {
    __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(units.bytes + 2 * at));
    int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, zero));
    if (mask != 0) {
      return at + static_cast<size_t>(
                      std::countr_zero(static_cast<unsigned>(mask))) /
                      2;
    }
  }
#endif
  while (at < limit && units.at(at) != 0) ++at;
  return at;
}

namespace {

// Notes an entry's length, sets its bits in both filters and returns the
// key that places it in the index.
uint64_t add_to_filters(ReplacementTable* table,
                        const ReplacementEntry& entry) {
  table->min_find_length = std::min(table->min_find_length, entry.find_length);
  table->max_find_length = std::max(table->max_find_length, entry.find_length);
  size_t words = entry.find_length / 64 + 1;
  if (table->find_lengths.size() < words) table->find_lengths.resize(words, 0);
  set_bit(&table->find_lengths, entry.find_length);
  size_t suffix_bits = 64 * table->suffix_filter.size();
  uint64_t hash = 0;
  for (uint32_t k = 1; k <= entry.find_length; ++k) {
    hash = prepend_unit(
        hash, static_cast<uint16_t>(entry.find[entry.find_length - k]));
    if (k <= kSuffixFilterDepth) {
      set_bit(&table->suffix_filter, suffix_bit(mix_key(hash, k), suffix_bits));
    }
  }
  uint64_t key = mix_key(hash, entry.find_length);
  table->filter[filter_word(key, table->filter.size())] |= filter_mask(key);
  return key;
}

// Puts the entry into its slot unless an earlier entry holds its text.
void add_to_index(ReplacementTable* table, uint32_t index, uint64_t key) {
  const ReplacementEntry& entry = table->entries[index];
  size_t mask = table->slots.size() - 1;
  size_t slot = slot_of(key, mask);
  for (; table->slots[slot].entry != kNoEntry; slot = (slot + 1) & mask) {
    const LookupSlot& taken = table->slots[slot];
    if (taken.length == entry.find_length &&
        std::equal(entry.find, entry.find + entry.find_length, taken.find)) {
      return;  // an earlier entry holds this text and wins
    }
  }
  table->slots[slot] = LookupSlot{entry.find, entry.find_length, index};
}

}  // namespace

void build_lookup_index(ReplacementTable* table) {
  size_t entry_count = table->entries.size();
  size_t slot_count = 16;
  while (slot_count < 2 * entry_count) slot_count *= 2;
  table->slots.clear();
  reserve_prepared(*table, &table->slots, slot_count);
  table->slots.assign(slot_count, LookupSlot{});
  size_t suffix_count = 0;
  for (const ReplacementEntry& entry : table->entries) {
    suffix_count += std::min(entry.find_length, kSuffixFilterDepth);
  }
  // About 4 bits per suffix: a false "known" only lets a scan look one unit
  // further back.
  size_t suffix_words = 64;
  while (suffix_words * 64 < 4 * suffix_count) suffix_words *= 2;
  table->suffix_filter.assign(suffix_words, 0);
  // About 16 filter bits per entry: a text that is no find text passes the
  // filter about once in 70 lookups.
  size_t filter_words = 64;
  while (filter_words * 64 < 16 * entry_count) filter_words *= 2;
  table->filter.assign(filter_words, 0);
  table->min_find_length = UINT32_MAX;
  table->max_find_length = 0;
  table->find_lengths.clear();
  std::vector<uint64_t> keys(entry_count);
  for (size_t index = 0; index < entry_count; ++index) {
    keys[index] = add_to_filters(table, table->entries[index]);
  }
  // Slots are filled in table order, so that the first of equal texts wins;
  // the slot a few entries ahead is fetched while this one is filled.
  constexpr size_t kAhead = 16;
  size_t mask = slot_count - 1;
  for (size_t index = 0; index < entry_count; ++index) {
#if defined(__GNUC__)
    if (index + kAhead < entry_count) {
      __builtin_prefetch(&table->slots[slot_of(keys[index + kAhead], mask)]);
    }
#endif
    add_to_index(table, static_cast<uint32_t>(index), keys[index]);
  }
}

uint32_t find_replacement(const ReplacementTable& table, UnitView units,
                          size_t position) {
  if (table.entries.empty() || position >= units.unit_count) return kNoEntry;
  size_t limit =
      std::min(units.unit_count, position + size_t{table.max_find_length} + 1);
  size_t zero = find_zero_unit(units, position, limit);
  if (zero >= limit) return kNoEntry;  // no zero, or a text too long to match
  return find_counted_text(table, units, position, zero - position);
}

uint32_t find_counted_text(const ReplacementTable& table, UnitView units,
                           size_t position, size_t length) {
  if (table.entries.empty() || length < table.min_find_length ||
      length > table.max_find_length || position > units.unit_count ||
      length > units.unit_count - position || !has_find_length(table, length)) {
    return kNoEntry;
  }
  uint64_t hash = 0;
  const uint8_t* end = units.bytes + 2 * (position + length);
  if (!hash_known_text(table, end, length, &hash)) return kNoEntry;
  return probe_index(table, hash, static_cast<uint32_t>(length), units,
                     position);
}

void start_scan(TextScanner* scanner, UnitView units, size_t scan_end) {
  scanner->units = units;
  scanner->scan_end = std::min(scan_end, units.unit_count);
}

namespace {

// The longest tail of the text whose zero unit is at `zero`, of `shortest`
// to `longest` units, that is a find text; its entry, or kNoEntry. Tails are
// hashed from the end while the suffix filter knows them; only lengths some
// find text has are looked up.
uint32_t longest_tail_hit(const ReplacementTable& table, TextScanner* scanner,
                          size_t zero, size_t shortest, size_t longest,
                          const HitFilter* filter, size_t* hit_length) {
  if (scanner->tail_hashes.size() < longest + 1) {
    scanner->tail_hashes.resize(longest + 1);
  }
  uint64_t* hashes = scanner->tail_hashes.data();
  const uint8_t* end = scanner->units.bytes + 2 * zero;
  size_t depth = std::min<size_t>(longest, kSuffixFilterDepth);
  size_t known = 0;  // tails up to this length may be find texts
  uint64_t hash = 0;
  while (known < depth) {
    uint64_t next = prepend_unit(hash, unit_before(end, known + 1));
    if (!suffix_known(table, next, static_cast<uint32_t>(known + 1))) break;
    hash = next;
    hashes[++known] = hash;
  }
  if (known == kSuffixFilterDepth) {
    for (; known < longest; ++known) {
      hash = prepend_unit(hash, unit_before(end, known + 1));
      hashes[known + 1] = hash;
    }
  }
  for (size_t length = known; length >= shortest; --length) {
    if (!has_find_length(table, length)) continue;
    uint32_t entry =
        probe_index(table, hashes[length], static_cast<uint32_t>(length),
                    scanner->units, zero - length);
    if (entry != kNoEntry && filter != nullptr) {
      entry = filter->resolve(filter->state, zero - length, entry);
    }
    if (entry != kNoEntry) {
      *hit_length = length;
      return entry;
    }
  }
  return kNoEntry;
}

}  // namespace

bool scan_next_hit(const ReplacementTable& table, TextScanner* scanner,
                   size_t position, size_t zero_limit, size_t* hit_position,
                   uint32_t* hit_entry, const HitFilter* filter) {
  if (table.entries.empty()) return false;
  const UnitView& units = scanner->units;
  // No text starting before the scan end can reach a zero past this.
  size_t limit =
      std::min(units.unit_count, scanner->scan_end + table.max_find_length + 1);
  while (position < scanner->scan_end) {
    size_t zero = find_zero_unit(units, position, limit);
    if (zero >= limit) return false;
    if (zero < zero_limit) {
      // The leftmost position whose text matches: the longest tail first,
      // down to the shortest that still starts before the scan end.
      size_t longest = std::min<size_t>(zero - position, table.max_find_length);
      size_t shortest = table.min_find_length;
      if (zero >= scanner->scan_end) {
        shortest = std::max(shortest, zero - scanner->scan_end + 1);
      }
      size_t length = 0;
      uint32_t entry = longest_tail_hit(table, scanner, zero, shortest, longest,
                                        filter, &length);
      if (entry != kNoEntry) {
        *hit_position = zero - length;
        *hit_entry = entry;
        return true;
      }
    }
    position = zero + 1;
  }
  return false;
}

}  // namespace uitrans
