// SPDX-License-Identifier: MIT
// The indexed lookup against the table scan it replaces: both must give the
// same entry at every position of random data, for random tables, including
// duplicate find texts, tails, texts cut off by the end of the buffer and
// the creation-data length condition.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "replace/replacement_table.h"
#include "support/lookup_reference.h"
#include "support/scan_lookup.h"

namespace {

using Units = std::vector<uint16_t>;

// Few distinct units, so that texts repeat and find texts often match.
uint16_t random_unit(std::mt19937* rng, bool with_zero) {
  static const uint16_t kUnits[] = {'a', 'b', 'c', 0xFFFF, 0x0101};
  std::uniform_int_distribution<int> pick(0, with_zero ? 6 : 4);
  int index = pick(*rng);
  return index >= 5 ? 0 : kUnits[index];
}

std::u16string random_text(std::mt19937* rng, size_t min_length,
                           size_t max_length) {
  std::uniform_int_distribution<size_t> length(min_length, max_length);
  std::u16string text(length(*rng), u'a');
  for (char16_t& unit : text) unit = random_unit(rng, false);
  return text;
}

// A list file of `pairs` pairs whose find texts come from a small pool, so
// the same find text appears more than once. Some texts are longer than the
// suffix filter is deep.
uitrans::ReplacementTable random_table(std::mt19937* rng, size_t pairs) {
  std::vector<std::u16string> pool;
  size_t longest = std::uniform_int_distribution<int>(0, 1)(*rng) == 0 ? 6 : 14;
  for (size_t i = 0; i < 1 + pairs / 2; ++i) {
    pool.push_back(random_text(rng, 2, longest));
  }
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  auto append = [&bytes](const std::u16string& text) {
    for (char16_t unit : text) {
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.insert(bytes.end(), {'\r', 0, '\n', 0});
  };
  std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
  for (size_t i = 0; i < pairs; ++i) {
    append(pool[pick(*rng)]);
    append(random_text(rng, 2, 5));
  }
  uitrans::ReplacementTable table;
  EXPECT_EQ(uitrans::parse_replacement_list(
                uitrans::ByteSpan{bytes.data(), bytes.size()}, &table),
            uitrans::ListLoadStatus::ok);
  return table;
}

// Little-endian bytes of `count` random units; zeros are frequent, and now
// and then a find text of `table` is planted, so that long texts match too.
std::vector<uint8_t> random_data(std::mt19937* rng, size_t count,
                                 const uitrans::ReplacementTable& table) {
  std::vector<uint8_t> bytes;
  auto put = [&bytes](uint16_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  };
  std::uniform_int_distribution<int> plant(0, 15);
  while (bytes.size() < 2 * count) {
    if (!table.entries.empty() && plant(*rng) == 0) {
      size_t last = table.entries.size() - 1;
      const uitrans::ReplacementEntry& entry =
          table.entries[std::uniform_int_distribution<size_t>(0, last)(*rng)];
      for (uint32_t i = 0; i < entry.find_length; ++i) put(entry.find[i]);
    }
    put(random_unit(rng, true));
  }
  bytes.resize(2 * count);
  return bytes;
}

TEST(LookupRandom, IndexedLookupAgreesWithTheTableScan) {
  std::mt19937 rng(20240607);
  for (int round = 0; round < 200; ++round) {
    uitrans::ReplacementTable table =
        random_table(&rng, std::uniform_int_distribution<size_t>(0, 40)(rng));
    std::vector<uint8_t> bytes = random_data(
        &rng, std::uniform_int_distribution<size_t>(0, 300)(rng), table);
    uitrans::UnitView units{bytes.data(), bytes.size() / 2};
    for (size_t position = 0; position < units.unit_count; ++position) {
      ASSERT_EQ(uitrans::find_replacement(table, units, position),
                testsupport::find_replacement_by_scan(table, units, position))
          << "round " << round << ", position " << position;
    }
  }
}

TEST(LookupRandom, ScannerAgreesWithTheTableScanAlongARun) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    uitrans::ReplacementTable table =
        random_table(&rng, std::uniform_int_distribution<size_t>(0, 40)(rng));
    std::vector<uint8_t> bytes = random_data(
        &rng, std::uniform_int_distribution<size_t>(1, 300)(rng), table);
    // Units at any address: every third round starts at an odd byte.
    size_t shift = round % 3 == 2 && bytes.size() > 1 ? 1 : 0;
    uitrans::UnitView units{bytes.data() + shift, (bytes.size() - shift) / 2};
    // The scan may stop short of the buffer's end, as an item does.
    size_t scan_end =
        std::uniform_int_distribution<size_t>(0, units.unit_count)(rng);
    bool limited = round % 2 == 1;  // creation data: a length limit
    testsupport::RunScanner scanner;
    testsupport::start_run_scan(&scanner, units, scan_end);
    size_t position = 0;
    while (position < scan_end) {
      size_t max_units = limited ? scan_end - position : SIZE_MAX;
      uint32_t expected = testsupport::find_replacement_by_scan(
          table, units, position, max_units);
      uint32_t got =
          testsupport::scan_lookup(table, &scanner, position, max_units);
      ASSERT_EQ(got, expected)
          << "round " << round << ", position " << position;
      // The jump to the next hit lands where position-by-position lookups
      // would first answer.
      size_t first = position;
      uint32_t first_entry = uitrans::kNoEntry;
      for (; first < scan_end && first_entry == uitrans::kNoEntry; ++first) {
        first_entry = testsupport::find_replacement_by_scan(
            table, units, first, limited ? scan_end - first : SIZE_MAX);
      }
      uitrans::TextScanner jumper;
      uitrans::start_scan(&jumper, units, scan_end);
      size_t at = 0;
      uint32_t hit = uitrans::kNoEntry;
      bool found = uitrans::scan_next_hit(
          table, &jumper, position, limited ? scan_end : SIZE_MAX, &at, &hit);
      ASSERT_EQ(found, first_entry != uitrans::kNoEntry)
          << "round " << round << ", position " << position;
      if (found) {
        ASSERT_EQ(at, first - 1) << "round " << round;
        ASSERT_EQ(hit, first_entry) << "round " << round;
      }
      // Go on as a rewriter does: behind a hit's terminator, or one unit,
      // and now and then jump ahead.
      if (got != uitrans::kNoEntry) {
        position += table.entries[got].find_length + 1;
      } else {
        position += std::uniform_int_distribution<int>(0, 9)(rng) == 0 ? 3 : 1;
      }
    }
  }
}

TEST(LookupRandom, TextRunningIntoTheEndOfTheBufferNeverMatches) {
  std::vector<uint8_t> list{0xFF, 0xFE, 'a', 0,   'b', 0,    '\n',
                            0,    'x',  0,   'y', 0,   '\n', 0};
  uitrans::ReplacementTable table;
  ASSERT_EQ(uitrans::parse_replacement_list(
                uitrans::ByteSpan{list.data(), list.size()}, &table),
            uitrans::ListLoadStatus::ok);
  std::vector<uint8_t> data{'q', 0, 'a', 0, 'b', 0};  // no zero after "ab"
  uitrans::UnitView units{data.data(), 3};
  EXPECT_EQ(uitrans::find_replacement(table, units, 1), uitrans::kNoEntry);
  testsupport::RunScanner run;
  testsupport::start_run_scan(&run, units, 3);
  EXPECT_EQ(testsupport::scan_lookup(table, &run, 1), uitrans::kNoEntry);
  data.insert(data.end(), {0, 0});
  units = uitrans::UnitView{data.data(), 4};
  EXPECT_EQ(uitrans::find_replacement(table, units, 1), 0u);
  // A text starting at or past the scan end is not the scanner's to find,
  // even when its zero lies within reach.
  size_t at = 0;
  uint32_t hit = uitrans::kNoEntry;
  uitrans::TextScanner scanner;
  for (size_t scan_end : {size_t{1}, size_t{2}}) {
    uitrans::start_scan(&scanner, units, scan_end);
    EXPECT_EQ(uitrans::scan_next_hit(table, &scanner, 0, SIZE_MAX, &at, &hit),
              scan_end == 2);
  }
}

}  // namespace
