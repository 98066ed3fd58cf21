// Measuring the directory prefix and the depth-first rebuild walk.
//
// Both walks use an explicit stack, so any nesting depth is safe, and visit
// each directory and each data entry at most once, so trees that share nodes
// or loop back to an ancestor take time linear in their size.
#include "resources/rebuild.h"

#include <cstring>
#include <unordered_set>
#include <vector>

namespace uitrans {

namespace {

constexpr uint32_t kDirectorySize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000;

// A directory being walked: its offset from the root and the next entry.
struct DirectoryFrame {
  uint64_t offset = 0;
  uint32_t named_count = 0;
  uint32_t entry_count = 0;
  uint32_t next_entry = 0;
};

struct DirectoryEntry {
  uint32_t name = 0;
  uint32_t offset_to_data = 0;
};

// Reads a directory table and checks that it and its entry array lie inside
// the image.
bool open_directory(ByteSpan image, uint64_t root, uint64_t offset,
                    DirectoryFrame* frame) {
  uint16_t named = 0;
  uint16_t ids = 0;
  uint64_t table = root + offset;
  if (!range_fits(table, kDirectorySize, image.size) ||
      !read_u16(image, table + 12, &named) ||
      !read_u16(image, table + 14, &ids)) {
    return false;
  }
  frame->offset = offset;
  frame->named_count = named;
  frame->entry_count = uint32_t{named} + ids;
  frame->next_entry = 0;
  return range_fits(table + kDirectorySize,
                    uint64_t{kEntrySize} * frame->entry_count, image.size);
}

bool read_entry(ByteSpan image, uint64_t root, const DirectoryFrame& frame,
                uint32_t index, DirectoryEntry* entry) {
  uint64_t at =
      root + frame.offset + kDirectorySize + uint64_t{kEntrySize} * index;
  return read_u32(image, at, &entry->name) &&
         read_u32(image, at + 4, &entry->offset_to_data);
}

void raise_to(int64_t* end, int64_t value) {
  if (value > *end) *end = value;
}

}  // namespace

RebuildStatus measure_directory_prefix(ByteSpan image, uint64_t root,
                                       uint32_t* prefix_size) {
  int64_t end = 0;
  std::unordered_set<uint64_t> seen_directories{0};
  std::vector<DirectoryFrame> stack(1);
  if (!open_directory(image, root, 0, &stack.back())) {
    return RebuildStatus::invalid_image;
  }
  raise_to(&end, kDirectorySize);
  if (stack.back().entry_count > 0) {
    raise_to(&end,
             kDirectorySize + int64_t{kEntrySize} * stack.back().entry_count);
  }
  while (!stack.empty()) {
    DirectoryFrame& frame = stack.back();
    if (frame.next_entry == frame.entry_count) {
      stack.pop_back();
      continue;
    }
    uint32_t index = frame.next_entry++;
    DirectoryEntry entry;
    if (!read_entry(image, root, frame, index, &entry)) {
      return RebuildStatus::invalid_image;
    }
    if (index < frame.named_count) {
      // The name string: its length word and units, and two bytes beyond.
      uint64_t name = entry.name & ~kHighBit;
      uint16_t length = 0;
      if (!read_u16(image, root + name, &length)) {
        return RebuildStatus::invalid_image;
      }
      raise_to(&end, static_cast<int64_t>(name) + 2 * int64_t{length} + 4);
    }
    uint64_t target = entry.offset_to_data & ~kHighBit;
    if ((entry.offset_to_data & kHighBit) == 0) {
      if (!range_fits(root + target, kDataEntrySize, image.size)) {
        return RebuildStatus::invalid_image;
      }
      raise_to(&end, static_cast<int64_t>(target) + kDataEntrySize);
      continue;
    }
    if (!seen_directories.insert(target).second) continue;
    DirectoryFrame child;
    if (!open_directory(image, root, target, &child)) {
      return RebuildStatus::invalid_image;
    }
    raise_to(&end, static_cast<int64_t>(target) + kDirectorySize);
    if (child.entry_count > 0) {
      raise_to(&end, static_cast<int64_t>(target) + kDirectorySize +
                         int64_t{kEntrySize} * child.entry_count);
    }
    stack.push_back(child);
  }
  uint64_t rounded = align_up(static_cast<uint64_t>(end), 16);
  if (!range_fits(root, rounded, image.size)) {
    return RebuildStatus::invalid_image;
  }
  *prefix_size = static_cast<uint32_t>(rounded);
  return RebuildStatus::ok;
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
  uint64_t copied_bytes = 0;  // input bytes of the items moved so far
};

// Data entries may share or overlap items, and each is copied anew, so a
// small file could make the copies add up to gigabytes. Real trees copy each
// byte once at most; a tree whose items add up to more than this is refused.
uint64_t copy_limit(size_t image_size) {
  return 2 * uint64_t{image_size} + (uint64_t{64} << 20);
}

ByteSpan image_span(const WalkContext& walk) {
  return ByteSpan{walk.image, walk.image_size};
}

// Moves the item of the data entry at `entry_offset` into the output,
// rewriting it when it is a menu or a dialog, and patches the entry.
RebuildStatus rebuild_item(WalkContext* walk, uint64_t entry_offset,
                           uint32_t resource_type) {
  ByteSpan image = image_span(*walk);
  uint64_t entry = walk->root + entry_offset;
  uint32_t rva = 0;
  uint32_t size = 0;
  if (!read_u32(image, entry, &rva) || !read_u32(image, entry + 4, &size)) {
    return RebuildStatus::invalid_image;
  }
  int64_t item = walk->info->rva_base + int64_t{rva};
  bool is_menu = resource_type == kResourceTypeMenu;
  // A menu item is read as whole units: an odd size takes in one more byte.
  uint64_t read_length = is_menu ? 2 * ((uint64_t{size} + 1) / 2) : size;
  if (item < 0 ||
      !range_fits(static_cast<uint64_t>(item), read_length, walk->image_size)) {
    return RebuildStatus::invalid_image;
  }
  walk->copied_bytes += size;
  if (walk->copied_bytes > copy_limit(walk->image_size)) {
    return RebuildStatus::invalid_image;
  }
  RebuildOutput* out = walk->output;
  uint64_t needed = uint64_t{out->used} + size + kItemHeadroom;
  if (needed > out->capacity && !reserve_output(out, needed)) {
    return RebuildStatus::out_of_memory;
  }
  store_u32(walk->image + entry, walk->data_start_rva + out->used);

  ItemContext context;
  context.image = image;
  context.item_offset = static_cast<uint64_t>(item);
  context.size = size;
  context.table = walk->table;
  context.output = out;
  context.replaced_count = &walk->replaced_count;
  uint32_t new_size = size;
  RebuildStatus status = RebuildStatus::ok;
  if (is_menu) {
    status = rewrite_menu(context, &new_size);
  } else if (resource_type == kResourceTypeDialog) {
    status = rewrite_dialog(context, &new_size);
  } else if (size > 0) {
    std::memcpy(out->data + out->used, walk->image + item, size);
  }
  if (status != RebuildStatus::ok) return status;
  store_u32(walk->image + entry + 4, new_size);
  uint64_t next_used = uint64_t{out->used} + align_up(new_size, 16);
  if (next_used > UINT32_MAX) return RebuildStatus::out_of_memory;
  out->used = static_cast<uint32_t>(next_used);
  return RebuildStatus::ok;
}

RebuildStatus walk_tree(WalkContext* walk) {
  ByteSpan image = image_span(*walk);
  std::unordered_set<uint64_t> seen_directories{0};
  std::unordered_set<uint64_t> seen_data_entries;
  std::vector<DirectoryFrame> stack(1);
  if (!open_directory(image, walk->root, 0, &stack.back())) {
    return RebuildStatus::invalid_image;
  }
  uint32_t resource_type = 0;
  while (!stack.empty()) {
    DirectoryFrame& frame = stack.back();
    if (frame.next_entry == frame.entry_count) {
      stack.pop_back();
      continue;
    }
    uint32_t index = frame.next_entry++;
    DirectoryEntry entry;
    if (!read_entry(image, walk->root, frame, index, &entry)) {
      return RebuildStatus::invalid_image;
    }
    // Items are dispatched by the raw Name of their root-level entry, so
    // named types never count as menus or dialogs.
    if (stack.size() == 1) resource_type = entry.name;
    uint64_t target = entry.offset_to_data & ~kHighBit;
    if ((entry.offset_to_data & kHighBit) != 0) {
      if (!seen_directories.insert(target).second) continue;
      DirectoryFrame child;
      if (!open_directory(image, walk->root, target, &child)) {
        return RebuildStatus::invalid_image;
      }
      stack.push_back(child);
      continue;
    }
    // A data entry reached twice keeps pointing at its first copy.
    if (!seen_data_entries.insert(target).second) continue;
    RebuildStatus status = rebuild_item(walk, target, resource_type);
    if (status != RebuildStatus::ok) return status;
  }
  return RebuildStatus::ok;
}

}  // namespace

RebuildResult rebuild_resources(uint8_t* image, size_t image_size,
                                const ImageInfo& info,
                                const ReplacementTable& table,
                                RebuildOutput* output) {
  RebuildResult result;
  ByteSpan span{image, image_size};
  result.status = measure_directory_prefix(span, info.resource_raw_pointer,
                                           &result.prefix_size);
  if (result.status != RebuildStatus::ok) return result;
  WalkContext walk;
  walk.image = image;
  walk.image_size = image_size;
  walk.info = &info;
  walk.root = info.resource_raw_pointer;
  walk.data_start_rva = info.resource_virtual_address + result.prefix_size;
  walk.table = &table;
  walk.output = output;
  result.status = walk_tree(&walk);
  result.replaced_count = walk.replaced_count;
  return result;
}

}  // namespace uitrans
