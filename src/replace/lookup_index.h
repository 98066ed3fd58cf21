// SPDX-License-Identifier: MIT
// The pieces of the lookup index that lookups along a text share: the hash
// of a text's tails and the probe of the index with such a hash.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "replace/replacement_table.h"

namespace uitrans {

// A polynomial hash modulo 2^64 with an odd base: one multiply and one add
// per unit, so hashing every tail of every scanned text stays cheap. Equal
// hashes are only candidates; the text itself is always compared, so a
// collision costs a comparison, never a wrong answer.
inline constexpr uint64_t kTailHashBase = 0x9E3779B97F4A7C15ull;

// The hash of `unit` followed by a text whose hash is `tail`.
inline uint64_t prepend_unit(uint64_t tail, uint16_t unit) {
  return tail * kTailHashBase + unit + 1;
}

// The unit `back` units before `end` (the bytes of a checked view).
inline uint16_t unit_before(const uint8_t* end, size_t back) {
  const uint8_t* p = end - 2 * back;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The entry of the index whose text is units[position, position + length)
// and hashes to `hash`, or kNoEntry.
uint32_t probe_index(const ReplacementTable& table, uint64_t hash,
                     uint32_t length, UnitView units, size_t position);

}  // namespace uitrans
