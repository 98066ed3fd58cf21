// SPDX-License-Identifier: MIT
// Texts of resources as people read them: UTF-8, resource labels, places.
#pragma once

#include <string>

#include "common/bytes.h"
#include "resources/text_record.h"

namespace uitrans {

// A report field: tab, line feed, carriage return and backslash escaped.
std::string escape_field(const std::string& text);

// The label of a kind of resource ("MENU"), a number, or a resource's name
// string, for the Name field of the entry at `level` (1 type, 2 name,
// 3 language; languages in four hex digits).
std::string resource_label(ByteSpan image, uint64_t root, uint32_t raw_name,
                           uint32_t level);

// The kind of place, for catalogue comments: "menu item", "dialog title",
// "typeface", "control title (Button)", "creation data", "string".
std::string place_kind(const TextRecord& record);

}  // namespace uitrans
