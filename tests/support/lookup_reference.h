// SPDX-License-Identifier: MIT
// The reference lookup the tool's indexed lookups are checked against: a plain
// scan over every entry of the table. It lives with the tests, which are its
// only users (unit tests, fuzz checks and the benchmark that measures what
// the index saves).
#pragma once

#include <cstddef>
#include <cstdint>

#include "replace/replacement_table.h"

namespace testsupport {

// The first entry, in table order, whose find text and its terminator equal
// the units at `position`, or uitrans::kNoEntry. Reaching the end of the
// units before the terminator is no match. Entries whose find text and
// terminator take more than `max_units` units are passed over (the
// creation-data condition).
uint32_t find_replacement_by_scan(const uitrans::ReplacementTable& table,
                                  uitrans::UnitView units, size_t position,
                                  size_t max_units = SIZE_MAX);

}  // namespace testsupport
