// SPDX-License-Identifier: MIT
// Listing the texts a translation would look up, without changing anything.
#pragma once

#include <vector>

#include "image/image_info.h"
#include "resources/rebuild.h"
#include "resources/text_record.h"

namespace uitrans {

// Walks the tree as the rebuild does, refusing what it refuses, and lists
// every text of the kinds a run with `kinds` rewrites, in the order the
// rebuild meets them.
Outcome extract_texts(ByteSpan image, const ImageInfo& info,
                      const KindSelection& kinds,
                      std::vector<TextRecord>* texts);

}  // namespace uitrans
