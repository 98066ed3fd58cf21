// SPDX-License-Identifier: MIT
// Position-by-position lookups along one run of units, as fast as the
// rewriters' jumps from hit to hit: the tails of a text are hashed once, and
// each position then costs one probe of the index. The unit tests and the
// fuzz checks walk runs with it against the plain scan, and the benchmark
// measures it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "replace/replacement_table.h"

namespace testsupport {

struct RunScanner {
  uitrans::UnitView units;
  size_t scan_end = 0;  // positions at or past this are never asked about
  // The current text run: positions [run_start, run_zero) share the zero
  // unit at run_zero; run_zero == SIZE_MAX means no zero close enough.
  size_t run_start = 0;
  size_t run_end = 0;  // first position not covered by the current run
  size_t run_zero = 0;
  bool run_valid = false;
  std::vector<uint64_t> tail_hashes;  // [length] -> hash of the last `length`
                                      // units before run_zero
};

void start_run_scan(RunScanner* scanner, uitrans::UnitView units,
                    size_t scan_end);

// As uitrans::find_replacement at `position` (which must lie below the scan
// end), but only entries whose find length + 1 is at most `max_units` can
// match.
uint32_t scan_lookup(const uitrans::ReplacementTable& table,
                     RunScanner* scanner, size_t position,
                     size_t max_units = SIZE_MAX);

}  // namespace testsupport
