// SPDX-License-Identifier: MIT
// Texts of resources as people read them: UTF-8, resource labels, places.
#pragma once

#include <string>

#include "common/bytes.h"
#include "resources/resource_labels.h"
#include "resources/text_record.h"

namespace uitrans {

// A report field: tab, line feed, carriage return and backslash escaped.
std::string escape_field(const std::string& text);

// The kind of place, for catalogue comments: "menu item", "dialog title",
// "typeface", "control title (Button)", "creation data", "string".
std::string place_kind(const TextRecord& record);

}  // namespace uitrans
