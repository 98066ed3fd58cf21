// SPDX-License-Identifier: MIT
// Listing the texts a translation would look up, without changing anything.
#pragma once

#include <vector>

#include "image/image_info.h"
#include "resources/rebuild.h"
#include "resources/text_record.h"

namespace uitrans {

struct ExtractResult {
  RebuildStatus status = RebuildStatus::ok;
  InvalidReason reason = InvalidReason::none;
};

// Walks the tree as the rebuild does, refusing what it refuses, and lists
// every menu item text, dialog title, typeface and control title (and, with
// `string_tables`, every non-empty string), in the order the rebuild meets
// them.
ExtractResult extract_texts(ByteSpan image, const ImageInfo& info,
                            bool string_tables, std::vector<TextRecord>* texts);

}  // namespace uitrans
