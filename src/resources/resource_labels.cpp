// SPDX-License-Identifier: MIT
#include "resources/resource_labels.h"

#include <cstdio>

#include "common/unicode.h"
#include "image/pe_format.h"
#include "resources/resource_kinds.h"
#include "resources/text_record.h"

namespace uitrans {

std::string resource_label(ByteSpan image, uint64_t root, uint32_t raw_name,
                           uint32_t level) {
  if ((raw_name & pe::kResourceHighBit) != 0) {
    uint64_t at = root + (raw_name & ~pe::kResourceHighBit);
    uint16_t length = 0;
    read_u16(image, at, &length);
    UnitView units = units_from(image, at + 2);
    return utf8_of(units_text(units, 0, length));
  }
  const ResourceKind* kind = level == 1 ? kind_of_type(raw_name) : nullptr;
  if (kind != nullptr) return kind->label;
  if (level == 3) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", raw_name);
    return hex;
  }
  return std::to_string(raw_name);
}

ResourceLabels resource_labels(ByteSpan image, uint64_t root,
                               const uint32_t* path) {
  return ResourceLabels{resource_label(image, root, path[0], 1),
                        resource_label(image, root, path[1], 2),
                        resource_label(image, root, path[2], 3)};
}

}  // namespace uitrans
