// SPDX-License-Identifier: MIT
// How references, the report and contexts name a resource: its type, name
// and language as labels.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "resources/resource_tree.h"

namespace uitrans {

// The label of a kind of resource ("MENU"), a number, or a resource's name
// string, for the Name field of the entry at `level` (1 type, 2 name,
// 3 language; languages in four hex digits).
std::string resource_label(ByteSpan image, uint64_t root, uint32_t raw_name,
                           uint32_t level);

// The labels of the three levels of `path`, for contexts.
struct ResourceLabels {
  std::string type;
  std::string name;
  std::string language;
};
ResourceLabels resource_labels(ByteSpan image, uint64_t root,
                               const uint32_t* path);  // kPathLevels Names

}  // namespace uitrans
