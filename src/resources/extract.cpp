// SPDX-License-Identifier: MIT
#include "resources/extract.h"

namespace uitrans {

namespace {

// The texts of a new data entry's item, checked as the rebuild checks it.
Outcome list_item(ByteSpan image, const ImageInfo& info,
                  const KindSelection& kinds, const TreeEntry& entry,
                  std::vector<TextRecord>* texts) {
  const ResourceKind* kind = kind_for_item(entry.path, kinds);
  uint64_t offset = 0;
  if (!locate_item(image, info, kind, entry.data_rva, entry.data_size,
                   &offset)) {
    return refused(InvalidReason::item_outside);
  }
  if (kind == nullptr) return Outcome{};
  return kind->extract(ItemSource{image, offset, entry.data_size, entry.path},
                       texts);
}

}  // namespace

Outcome extract_texts(ByteSpan image, const ImageInfo& info,
                      const KindSelection& kinds,
                      std::vector<TextRecord>* texts) {
  uint32_t prefix_size = 0;
  Outcome outcome =
      measure_directory_prefix(image, info.resource_raw_pointer, &prefix_size);
  if (!outcome.ok()) return outcome;
  TreeWalk tree;
  bool ok = start_tree_walk(&tree, image, info.resource_raw_pointer, true);
  TreeEntry entry;
  while (ok && next_tree_entry(&tree, &entry)) {
    if (entry.target != EntryTarget::new_data_entry) continue;
    outcome = list_item(image, info, kinds, entry, texts);
    if (!outcome.ok()) return outcome;
  }
  if (tree.reason != InvalidReason::none) return refused(tree.reason);
  return Outcome{};
}

}  // namespace uitrans
