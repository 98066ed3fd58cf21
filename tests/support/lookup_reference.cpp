// SPDX-License-Identifier: MIT
#include "support/lookup_reference.h"

namespace testsupport {

uint32_t find_replacement_by_scan(const uitrans::ReplacementTable& table,
                                  uitrans::UnitView units, size_t position,
                                  size_t max_units) {
  for (uint32_t index = 0; index < table.entries.size(); ++index) {
    const uitrans::ReplacementEntry& entry = table.entries[index];
    if (size_t{entry.find_length} + 1 > max_units) continue;
    // Compare up to and including the find text's terminator.
    for (size_t i = 0; position + i < units.unit_count; ++i) {
      const uint16_t expected =
          i < entry.find_length ? static_cast<uint16_t>(entry.find[i]) : 0;
      if (units.at(position + i) != expected) break;
      if (expected == 0) return index;
    }
  }
  return uitrans::kNoEntry;
}

}  // namespace testsupport
