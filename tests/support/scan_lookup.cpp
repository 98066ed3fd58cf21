// SPDX-License-Identifier: MIT
#include "support/scan_lookup.h"

#include <algorithm>

#include "replace/lookup_index.h"

namespace testsupport {

using uitrans::kNoEntry;

void start_run_scan(RunScanner* scanner, uitrans::UnitView units,
                    size_t scan_end) {
  scanner->units = units;
  scanner->scan_end = std::min(scan_end, units.unit_count);
  scanner->run_valid = false;
}

namespace {

// Finds the text run containing `position`: the first zero unit at or after
// it, searching no further than a find text could reach past the scan end,
// and hashes the tails of the run that are short enough to be find texts.
void load_run(const uitrans::ReplacementTable& table, RunScanner* scanner,
              size_t position) {
  const uitrans::UnitView& units = scanner->units;
  size_t reach = size_t{table.max_find_length} + 1;
  size_t limit =
      std::min(units.unit_count, std::max(position, scanner->scan_end) + reach);
  size_t zero = uitrans::find_zero_unit(units, position, limit);
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
  const uint8_t* end = units.bytes + 2 * zero;
  for (size_t length = 1; length <= tail_count; ++length) {
    hash = uitrans::prepend_unit(hash, uitrans::unit_before(end, length));
    hashes[length] = hash;
  }
}

}  // namespace

uint32_t scan_lookup(const uitrans::ReplacementTable& table,
                     RunScanner* scanner, size_t position, size_t max_units) {
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
  return uitrans::probe_index(table, scanner->tail_hashes[length],
                              static_cast<uint32_t>(length), scanner->units,
                              position);
}

}  // namespace testsupport
