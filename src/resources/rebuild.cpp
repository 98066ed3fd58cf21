// SPDX-License-Identifier: MIT
// Measuring the directory prefix and the depth-first rebuild walk, both on
// the shared tree walk.
#include "resources/rebuild.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "image/pe_format.h"
#include "resources/resource_tree.h"
#include "resources/version_info.h"

namespace uitrans {

namespace {

void raise_to(uint64_t* end, uint64_t value) {
  if (value > *end) *end = value;
}

uint64_t directory_end(uint64_t offset, uint32_t entry_count) {
  return offset + pe::kResourceDirectorySize +
         uint64_t{pe::kResourceEntrySize} * entry_count;
}

}  // namespace

Outcome measure_directory_prefix(ByteSpan image, uint64_t root,
                                 uint32_t* prefix_size) {
  TreeWalk walk;
  bool ok = start_tree_walk(&walk, image, root, false);
  uint64_t end = directory_end(0, walk.root_entry_count);
  TreeEntry entry;
  while (ok && next_tree_entry(&walk, &entry)) {
    // A name: its length word and units, and two bytes beyond.
    if (entry.named) {
      raise_to(&end, entry.name_offset + 2 * uint64_t{entry.name_length} + 4);
    }
    if (entry.target == EntryTarget::new_directory) {
      raise_to(&end, directory_end(entry.target_offset, entry.entry_count));
    } else if (entry.target != EntryTarget::seen_directory) {
      raise_to(&end, entry.target_offset + pe::kResourceDataEntrySize);
    }
  }
  if (walk.reason == InvalidReason::none) {
    uint64_t rounded = align_up(end, 16);
    if (range_fits(root, rounded, image.size)) {
      *prefix_size = static_cast<uint32_t>(rounded);
      return Outcome{};
    }
    walk.reason = InvalidReason::prefix_outside;
  }
  return refused(walk.reason);
}

namespace {

struct WalkContext {
  uint8_t* image = nullptr;
  size_t image_size = 0;
  const ImageInfo* info = nullptr;
  uint64_t root = 0;
  uint32_t data_start_rva = 0;
  const ReplacementTable* table = nullptr;
  RebuildOutput* output = nullptr;
  int32_t replaced_count = 0;
  RebuildNotes notes;
  RewriteLog* log = nullptr;
  KindSelection kinds;
  const RebuildOptions* options = nullptr;
  // Items lying wholly in [zone_start, zone_end) may stay in the image.
  uint64_t zone_start = 0;
  uint64_t zone_end = 0;
  // Image memory behind moved items, given back step by step: the part of
  // the zone in [release_start, release_end) is not given back yet.
  void (*release_pages)(const void* data, size_t size) = nullptr;
  uint64_t release_start = 0;
  uint64_t release_end = 0;
  // Adding a language: placements by walk order, the copies, and the items
  // already in the added language, placed once the copies are known.
  std::vector<ItemPlacement> placements;
  std::vector<AddedCopy> copies;
  std::vector<std::pair<uint32_t, TreeEntry>> deferred;
  std::vector<std::pair<uint32_t, uint32_t>> copied_resources;  // type, name
};

// Image memory is given back at multiples of this (a multiple of every page
// size in use): a page that two steps share goes with the later one, which
// may still read it, and about one step of read input stays resident.
inline constexpr uint64_t kReleaseStep = 262144;

void release_range(WalkContext* walk, uint64_t start, uint64_t end) {
  if (end > start) walk->release_pages(walk->image + start, end - start);
}

// The item at [start, end) of the image is in the output now: the memory
// behind it is given back once a step has filled up. Only the zone is given
// back, where nothing was written; pages it shares with an item still to be
// read or written from the image are read from the file again if released.
void release_moved_item(WalkContext* walk, uint64_t start, uint64_t end) {
  if (walk->release_pages == nullptr) return;
  start = std::max(start, walk->zone_start);
  end = std::min(end, walk->zone_end);
  if (start >= end) return;
  bool follows =
      start >= walk->release_start && start <= walk->release_end + kReleaseStep;
  if (follows) {
    walk->release_end = std::max(walk->release_end, end);
  } else {
    release_range(walk, walk->release_start, walk->release_end);
    walk->release_start = start;
    walk->release_end = end;
  }
  uint64_t step_end = walk->release_end / kReleaseStep * kReleaseStep;
  if (step_end > walk->release_start) {
    release_range(walk, walk->release_start, step_end);
    walk->release_start = step_end;
  }
}

// Patches a field of a data entry. Data entries lie in the prefix, before
// the zone, unless a tree reaches one only through bytes patched earlier;
// then nothing more is given back, as the patch would be lost with it.
void patch_data_entry(WalkContext* walk, uint64_t data_entry, uint32_t field,
                      uint32_t value) {
  if (data_entry + pe::kResourceDataEntrySize > walk->zone_start) {
    walk->release_pages = nullptr;
  }
  store_u32(walk->image + data_entry + field, value);
}

// Adds an item of `size` bytes to the data area; false past 4 GiB.
bool extend_area(RebuildOutput* out, const AreaPiece& piece) {
  uint64_t next = uint64_t{out->area_size} + align_up(piece.size, 16);
  if (next > UINT32_MAX) return false;
  out->area_size = static_cast<uint32_t>(next);
  if (out->referenced) out->pieces.push_back(piece);
  return true;
}

// An unchanged item that stays in the image: only its entry is patched.
bool reference_item(WalkContext* walk, const TreeEntry& entry, uint64_t item) {
  RebuildOutput* out = walk->output;
  patch_data_entry(walk, walk->root + entry.target_offset,
                   pe::kResourceDataOffsetToData,
                   walk->data_start_rva + out->area_size);
  return extend_area(out, AreaPiece{true, item, entry.data_size});
}

// Writes the item at the output's end: rewritten when the run rewrites its
// kind, else copied.
Outcome move_item(const ResourceKind* kind, const ItemContext& context,
                  uint32_t* new_size) {
  *new_size = context.item.size;
  if (kind != nullptr) return kind->rewrite(context, new_size);
  if (context.item.size > 0) {
    std::memcpy(context.output->data + context.output->used,
                context.item.image.data + context.item.offset,
                context.item.size);
  }
  return Outcome{};
}

// The output holds `size` more bytes past what it uses, and the headroom.
Outcome make_room(RebuildOutput* out, uint32_t size) {
  uint64_t needed = uint64_t{out->used} + size + kItemHeadroom;
  if (needed <= out->capacity) return Outcome{};
  if (needed > UINT32_MAX) return size_overflow();
  return reserve_output(out, needed) ? Outcome{} : out_of_memory();
}

// Moves the item of a data entry into the output, rewritten with a kind and
// copied without, and patches the entry: OffsetToData before the item is
// written, Size after. *placed says where it went in the data area.
Outcome move_entry_item(WalkContext* walk, const TreeEntry& entry,
                        const ResourceKind* kind, ItemPlacement* placed) {
  uint32_t size = entry.data_size;
  uint64_t item_start = 0;
  if (!locate_item(ByteSpan{walk->image, walk->image_size}, *walk->info, kind,
                   entry.data_rva, size, &item_start)) {
    return refused(InvalidReason::item_outside);
  }
  RebuildOutput* out = walk->output;
  *placed = ItemPlacement{out->area_size, size};
  if (out->referenced && kind == nullptr && item_start >= walk->zone_start &&
      item_start + size <= walk->zone_end) {
    return reference_item(walk, entry, item_start) ? Outcome{}
                                                   : size_overflow();
  }
  Outcome room = make_room(out, size);
  if (!room.ok()) return room;
  uint64_t data_entry = walk->root + entry.target_offset;
  patch_data_entry(walk, data_entry, pe::kResourceDataOffsetToData,
                   walk->data_start_rva + out->area_size);

  ItemContext context;
  context.item = ItemSource{ByteSpan{walk->image, walk->image_size}, item_start,
                            size, entry.path};
  context.table = walk->table;
  context.output = out;
  context.replaced_count = &walk->replaced_count;
  context.log = walk->log;
  context.notes = &walk->notes;
  context.fit = walk->options->fit;
  ItemPlace place;
  if (!walk->table->contexts.empty() && kind != nullptr) {
    place.file = walk->options->file_name;
    place.own_file = walk->options->own_file_name;
    place.labels = resource_labels(context.item.image, walk->root, entry.path);
    context.place = &place;
  }
  uint32_t new_size = size;
  Outcome moved = move_item(kind, context, &new_size);
  if (!moved.ok()) return moved;
  patch_data_entry(walk, data_entry, pe::kResourceDataSize, new_size);
  placed->size = new_size;
  release_moved_item(walk, item_start, item_start + size);
  uint64_t next_used = uint64_t{out->used} + align_up(new_size, 16);
  if (next_used > UINT32_MAX ||
      !extend_area(out, AreaPiece{false, out->used, new_size})) {
    return size_overflow();
  }
  out->used = static_cast<uint32_t>(next_used);
  return Outcome{};
}

// Where the area stood before a copy was written, to take it back.
struct AreaMark {
  uint32_t used = 0;
  uint32_t area_size = 0;
  size_t pieces = 0;
};

AreaMark mark_area(const RebuildOutput& out) {
  return AreaMark{out.used, out.area_size, out.pieces.size()};
}

// Takes back what was written since `mark`, zeroing it again as the unused
// part of the output must be.
void take_back(RebuildOutput* out, const AreaMark& mark) {
  std::memset(out->data + mark.used, 0, out->used - mark.used);
  out->used = mark.used;
  out->area_size = mark.area_size;
  out->pieces.resize(mark.pieces);
}

// A version block copied into another language names it in its StringTable
// key and Translation words; one whose keys cannot take it stays as written.
void name_copy_language(RebuildOutput* out, const ResourceKind* kind,
                        uint32_t at, uint32_t size, uint16_t language) {
  if (kind->type != pe::kResourceTypeVersion) return;
  std::vector<uint8_t> renamed;
  VersionFault fault = VersionFault::none;
  if (set_version_language(ByteSpan{out->data + at, size}, language, &renamed,
                           &fault) &&
      renamed.size() == size) {
    std::memcpy(out->data + at, renamed.data(), size);
  }
}

// Adding a language: the item is copied unchanged, and first written again
// translated; that copy stays when a text in it was replaced.
Outcome add_language_item(WalkContext* walk, const TreeEntry& entry) {
  uint32_t item = static_cast<uint32_t>(walk->placements.size());
  walk->placements.push_back(ItemPlacement{});
  if (entry.path[2] == walk->options->added_language) {
    walk->deferred.emplace_back(item, entry);
    return Outcome{};
  }
  const ResourceKind* kind = kind_for_item(entry.path, walk->kinds);
  if (kind != nullptr) {
    RebuildOutput* out = walk->output;
    AreaMark mark = mark_area(*out);
    int32_t replaced_before = walk->replaced_count;
    ItemPlacement copy;
    Outcome written = move_entry_item(walk, entry, kind, &copy);
    if (!written.ok()) return written;
    if (walk->replaced_count > replaced_before) {
      name_copy_language(out, kind, mark.used, copy.size,
                         walk->options->added_language);
      walk->copies.push_back(AddedCopy{item, copy});
      walk->copied_resources.emplace_back(entry.path[0], entry.path[1]);
    } else {
      take_back(out, mark);
    }
  }
  return move_entry_item(walk, entry, nullptr, &walk->placements[item]);
}

// Items already in the added language go last: each is kept unless a copy
// of the same resource (its sibling under the same type and name) replaces
// it, as its leaf will then lead to the copy.
Outcome place_deferred_items(WalkContext* walk) {
  for (const auto& deferred : walk->deferred) {
    uint32_t item = deferred.first;
    const TreeEntry& entry = deferred.second;
    auto same_resource = [&](const std::pair<uint32_t, uint32_t>& copied) {
      return copied.first == entry.path[0] && copied.second == entry.path[1];
    };
    if (std::any_of(walk->copied_resources.begin(),
                    walk->copied_resources.end(), same_resource)) {
      continue;
    }
    Outcome moved =
        move_entry_item(walk, entry, nullptr, &walk->placements[item]);
    if (!moved.ok()) return moved;
  }
  return Outcome{};
}

Outcome rebuild_item(WalkContext* walk, const TreeEntry& entry) {
  if (walk->options->add_language) return add_language_item(walk, entry);
  ItemPlacement placed;
  return move_entry_item(walk, entry, kind_for_item(entry.path, walk->kinds),
                         &placed);
}

// Items are dispatched by the raw Name of their root-level entry, so named
// types never count as one of the kinds rewritten.
Outcome walk_tree(WalkContext* walk) {
  TreeWalk tree;
  ByteSpan image{walk->image, walk->image_size};
  bool ok = start_tree_walk(&tree, image, walk->root, true);
  TreeEntry entry;
  while (ok && next_tree_entry(&tree, &entry)) {
    if (entry.target != EntryTarget::new_data_entry) continue;
    Outcome item = rebuild_item(walk, entry);
    if (!item.ok()) return item;
  }
  if (tree.reason != InvalidReason::none) return refused(tree.reason);
  Outcome deferred = place_deferred_items(walk);
  if (!deferred.ok()) return deferred;
  if (walk->release_pages != nullptr) {
    release_range(walk, walk->release_start, walk->release_end);
  }
  return Outcome{};
}

// Where unchanged items may stay in the image: behind the directory prefix
// in the resource section's raw data, when neither the headers nor another
// section's raw data overlap it (the output stage patches only those).
bool reference_zone(ByteSpan image, const ImageInfo& info, uint32_t prefix_size,
                    uint64_t* start, uint64_t* end) {
  uint64_t root = info.resource_raw_pointer;
  uint64_t raw_end = root + info.resource_raw_size;
  uint64_t headers_end = uint64_t{info.section_table_offset} +
                         uint64_t{pe::kSectionHeaderSize} * info.section_count;
  if (headers_end > root) return false;
  for (uint32_t i = 0; i < info.section_count; ++i) {
    uint64_t header = uint64_t{info.section_table_offset} +
                      uint64_t{pe::kSectionHeaderSize} * i;
    if (header == info.resource_header_offset) continue;
    uint32_t raw_pointer = 0;
    uint32_t raw_size = 0;
    if (!read_u32(image, header + pe::kSectionPointerToRawData, &raw_pointer) ||
        !read_u32(image, header + pe::kSectionSizeOfRawData, &raw_size)) {
      return false;
    }
    if (raw_pointer < raw_end && uint64_t{raw_pointer} + raw_size > root) {
      return false;
    }
  }
  *start = root + prefix_size;
  *end = raw_end;
  return true;
}

}  // namespace

bool locate_item(ByteSpan image, const ImageInfo& info,
                 const ResourceKind* kind, uint32_t data_rva, uint32_t size,
                 uint64_t* item_offset) {
  int64_t item = info.rva_base + int64_t{data_rva};
  uint64_t read_length = kind != nullptr ? kind->read_length(size) : size;
  if (item < 0 ||
      !range_fits(static_cast<uint64_t>(item), read_length, image.size)) {
    return false;
  }
  *item_offset = static_cast<uint64_t>(item);
  return true;
}

RebuildResult rebuild_resources(uint8_t* image, size_t image_size,
                                const ImageInfo& info,
                                const ReplacementTable& table,
                                RebuildOutput* output,
                                const RebuildOptions& options) {
  RebuildResult result;
  ByteSpan span{image, image_size};
  result.outcome = measure_directory_prefix(span, info.resource_raw_pointer,
                                            &result.prefix_size);
  if (!result.outcome.ok()) return result;
  WalkContext walk;
  walk.image = image;
  walk.image_size = image_size;
  walk.info = &info;
  walk.root = info.resource_raw_pointer;
  walk.data_start_rva = info.resource_virtual_address + result.prefix_size;
  walk.table = &table;
  walk.output = output;
  walk.log = options.log;
  walk.kinds = options.kinds;
  walk.options = &options;
  bool has_zone = reference_zone(span, info, result.prefix_size,
                                 &walk.zone_start, &walk.zone_end);
  output->referenced = options.reference_unchanged && has_zone;
  // Adding a language reads each translated item twice: nothing is given
  // back between the two reads.
  if (has_zone && !options.add_language) {
    walk.release_pages = options.release_pages;
  }
  walk.release_start = walk.zone_start;
  walk.release_end = walk.zone_start;
  result.outcome = walk_tree(&walk);
  result.replaced_count = walk.replaced_count;
  result.notes = walk.notes;
  result.placements = std::move(walk.placements);
  result.copies = std::move(walk.copies);
  return result;
}

}  // namespace uitrans
