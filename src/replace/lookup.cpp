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

#include "replace/replacement_table.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define UITRANS_SSE2 1
#endif

namespace uitrans {

namespace {

// A polynomial hash modulo 2^64 with an odd base: one multiply and one add
// per unit, so hashing every tail of every scanned text stays cheap. Equal
// hashes are only candidates; the text itself is always compared, so a
// collision costs a comparison, never a wrong answer.
constexpr uint64_t kBase = 0x9E3779B97F4A7C15ull;

// The hash of `unit` followed by a text whose hash is `tail`.
uint64_t prepend_unit(uint64_t tail, uint16_t unit) {
  return tail * kBase + unit + 1;
}

uint64_t hash_text(const char16_t* text, uint32_t length) {
  uint64_t hash = 0;
  for (uint32_t i = length; i > 0; --i) {
    hash = prepend_unit(hash, static_cast<uint16_t>(text[i - 1]));
  }
  return hash;
}

// Mixes a text's hash and length into the key that places it in the index
// and in the filter.
uint64_t mix_key(uint64_t hash, uint32_t length) {
  return (hash ^ (uint64_t{length} * 0x9E3779B97F4A7C15ull)) *
         0xBF58476D1CE4E5B9ull;
}

size_t slot_of(uint64_t key, size_t mask) {
  return static_cast<size_t>(key >> 20) & mask;
}

// The filter bit of a key, taken from other bits than its slot.
size_t filter_bit(uint64_t key, size_t bit_count) {
  return static_cast<size_t>(key >> 40 ^ key) & (bit_count - 1);
}

bool filter_has(const ReplacementTable& table, uint64_t key) {
  size_t bit = filter_bit(key, 64 * table.filter.size());
  return (table.filter[bit / 64] >> (bit % 64) & 1) != 0;
}

bool text_equals(const char16_t* text, uint32_t length, UnitView units,
                 size_t position) {
  for (uint32_t i = 0; i < length; ++i) {
    if (units.at(position + i) != static_cast<uint16_t>(text[i])) return false;
  }
  return true;
}

// The entry of the index whose text is units[position, position + length).
uint32_t probe_index(const ReplacementTable& table, uint64_t hash,
                     uint32_t length, UnitView units, size_t position) {
  uint64_t key = mix_key(hash, length);
  if (!filter_has(table, key)) return kNoEntry;
  size_t mask = table.slots.size() - 1;
  for (size_t slot = slot_of(key, mask);; slot = (slot + 1) & mask) {
    const LookupSlot& candidate = table.slots[slot];
    if (candidate.length == 0) return kNoEntry;
    if (candidate.length != length || candidate.hash != hash) continue;
    const ReplacementEntry& entry = table.entries[candidate.entry];
    if (text_equals(entry.find, length, units, position)) {
      return candidate.entry;
    }
  }
}

bool same_text(const ReplacementEntry& a, const ReplacementEntry& b) {
  return a.find_length == b.find_length &&
         std::equal(a.find, a.find + a.find_length, b.find);
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

void build_lookup_index(ReplacementTable* table) {
  size_t slot_count = 16;
  while (slot_count < 2 * table->entries.size()) slot_count *= 2;
  table->slots.assign(slot_count, LookupSlot{});
  // About 16 filter bits per entry: a text that is no find text passes the
  // filter about once in 16 positions.
  size_t filter_words = 64;
  while (filter_words * 64 < 16 * table->entries.size()) filter_words *= 2;
  table->filter.assign(filter_words, 0);
  table->min_find_length = UINT32_MAX;
  table->max_find_length = 0;
  table->find_lengths.clear();
  size_t mask = slot_count - 1;
  for (uint32_t index = 0; index < table->entries.size(); ++index) {
    const ReplacementEntry& entry = table->entries[index];
    table->min_find_length =
        std::min(table->min_find_length, entry.find_length);
    table->max_find_length =
        std::max(table->max_find_length, entry.find_length);
    size_t word = entry.find_length / 64;
    if (table->find_lengths.size() <= word) {
      table->find_lengths.resize(word + 1, 0);
    }
    table->find_lengths[word] |= uint64_t{1} << (entry.find_length % 64);
    uint64_t hash = hash_text(entry.find, entry.find_length);
    uint64_t key = mix_key(hash, entry.find_length);
    size_t bit = filter_bit(key, 64 * filter_words);
    table->filter[bit / 64] |= uint64_t{1} << (bit % 64);
    size_t slot = slot_of(key, mask);
    bool duplicate = false;
    while (table->slots[slot].length != 0) {
      const LookupSlot& taken = table->slots[slot];
      if (taken.hash == hash && same_text(table->entries[taken.entry], entry)) {
        duplicate = true;  // an earlier entry holds this text and wins
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (!duplicate) {
      table->slots[slot] = LookupSlot{hash, entry.find_length, index};
    }
  }
}

uint32_t find_replacement(const ReplacementTable& table, UnitView units,
                          size_t position) {
  if (table.entries.empty()) return kNoEntry;
  size_t limit =
      std::min(units.unit_count, position + size_t{table.max_find_length} + 1);
  size_t zero = position;
  while (zero < limit && units.at(zero) != 0) ++zero;
  if (zero >= limit) return kNoEntry;  // no zero, or a text too long to match
  size_t length = zero - position;
  if (length < table.min_find_length) return kNoEntry;
  uint64_t hash = 0;
  for (size_t i = zero; i > position; --i)
    hash = prepend_unit(hash, units.at(i - 1));
  return probe_index(table, hash, static_cast<uint32_t>(length), units,
                     position);
}

uint32_t find_counted_text(const ReplacementTable& table, UnitView units,
                           size_t position, size_t length) {
  if (table.entries.empty() || length < table.min_find_length ||
      length > table.max_find_length || position + length > units.unit_count) {
    return kNoEntry;
  }
  uint64_t hash = 0;
  for (size_t i = position + length; i > position; --i) {
    hash = prepend_unit(hash, units.at(i - 1));
  }
  return probe_index(table, hash, static_cast<uint32_t>(length), units,
                     position);
}

void start_scan(TextScanner* scanner, UnitView units, size_t scan_end) {
  scanner->units = units;
  scanner->scan_end = std::min(scan_end, units.unit_count);
  scanner->run_valid = false;
}

namespace {

// Finds the text run containing `position`: the first zero unit at or after
// it, searching no further than a find text could reach past the scan end,
// and hashes the tails of the run that are short enough to be find texts.
void load_run(const ReplacementTable& table, TextScanner* scanner,
              size_t position) {
  const UnitView& units = scanner->units;
  size_t reach = size_t{table.max_find_length} + 1;
  size_t limit =
      std::min(units.unit_count, std::max(position, scanner->scan_end) + reach);
  size_t zero = find_zero_unit(units, position, limit);
  scanner->run_valid = true;
  scanner->run_start = position;
  if (zero >= limit) {
    // No position before the scan end has a zero within reach.
    scanner->run_zero = SIZE_MAX;
    scanner->run_end = std::max(zero, scanner->scan_end);
    return;
  }
  scanner->run_zero = zero;
  scanner->run_end = zero + 1;
  size_t tail_count = std::min<size_t>(zero - position, table.max_find_length);
  if (scanner->tail_hashes.size() < tail_count + 1) {
    scanner->tail_hashes.resize(tail_count + 1);
  }
  uint64_t* hashes = scanner->tail_hashes.data();
  uint64_t hash = 0;
  hashes[0] = 0;
  const uint8_t* bytes = units.bytes + 2 * zero;
  for (size_t length = 1; length <= tail_count; ++length) {
    const uint8_t* p = bytes - 2 * length;
    hash = prepend_unit(hash, static_cast<uint16_t>(p[0] | (p[1] << 8)));
    hashes[length] = hash;
  }
}

bool has_find_length(const ReplacementTable& table, size_t length) {
  size_t word = length / 64;
  return word < table.find_lengths.size() &&
         (table.find_lengths[word] >> (length % 64) & 1) != 0;
}

}  // namespace

uint32_t scan_lookup(const ReplacementTable& table, TextScanner* scanner,
                     size_t position, size_t max_units) {
  if (table.entries.empty() || position >= scanner->units.unit_count) {
    return kNoEntry;
  }
  if (!scanner->run_valid || position < scanner->run_start ||
      position >= scanner->run_end) {
    load_run(table, scanner, position);
  }
  if (scanner->run_zero == SIZE_MAX) return kNoEntry;
  size_t length = scanner->run_zero - position;
  if (length < table.min_find_length || length > table.max_find_length ||
      length + 1 > max_units) {
    return kNoEntry;
  }
  return probe_index(table, scanner->tail_hashes[length],
                     static_cast<uint32_t>(length), scanner->units, position);
}

bool scan_next_hit(const ReplacementTable& table, TextScanner* scanner,
                   size_t position, size_t zero_limit, size_t* hit_position,
                   uint32_t* hit_entry) {
  if (table.entries.empty()) return false;
  while (position < scanner->scan_end) {
    if (!scanner->run_valid || position < scanner->run_start ||
        position >= scanner->run_end) {
      load_run(table, scanner, position);
    }
    size_t zero = scanner->run_zero;
    if (zero == SIZE_MAX || zero >= zero_limit) {
      position = scanner->run_end;
      continue;
    }
    // The leftmost position whose text matches: the longest tail first,
    // down to the shortest that still starts before the scan end.
    size_t longest = std::min<size_t>(zero - position, table.max_find_length);
    size_t shortest = table.min_find_length;
    if (zero >= scanner->scan_end) {
      shortest = std::max(shortest, zero - scanner->scan_end + 1);
    }
    for (size_t length = longest; length >= shortest; --length) {
      if (!has_find_length(table, length)) continue;
      uint32_t entry = probe_index(table, scanner->tail_hashes[length],
                                   static_cast<uint32_t>(length),
                                   scanner->units, zero - length);
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
