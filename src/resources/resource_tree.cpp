// SPDX-License-Identifier: MIT
#include "resources/resource_tree.h"

#include "image/pe_format.h"

namespace uitrans {

namespace {

bool refuse(TreeWalk* walk, InvalidReason reason) {
  walk->reason = reason;
  return false;
}

// Reads a directory table and checks that it and its entry array lie inside
// the image.
bool open_directory(TreeWalk* walk, uint64_t offset, DirectoryFrame* frame) {
  uint16_t named = 0;
  uint16_t ids = 0;
  uint64_t table = walk->root + offset;
  if (!range_fits(table, pe::kResourceDirectorySize, walk->image.size) ||
      !read_u16(walk->image, table + pe::kResourceNamedEntries, &named) ||
      !read_u16(walk->image, table + pe::kResourceIdEntries, &ids)) {
    return refuse(walk, InvalidReason::directory_outside);
  }
  frame->offset = offset;
  frame->named_count = named;
  frame->entry_count = uint32_t{named} + ids;
  frame->next_entry = 0;
  if (!range_fits(table + pe::kResourceDirectorySize,
                  uint64_t{pe::kResourceEntrySize} * frame->entry_count,
                  walk->image.size)) {
    return refuse(walk, InvalidReason::entry_outside);
  }
  return true;
}

bool read_name(TreeWalk* walk, TreeEntry* entry, uint32_t name) {
  entry->name_offset = name & ~pe::kResourceHighBit;
  if (!read_u16(walk->image, walk->root + entry->name_offset,
                &entry->name_length)) {
    return refuse(walk, InvalidReason::name_outside);
  }
  return true;
}

bool enter_directory(TreeWalk* walk, TreeEntry* entry) {
  if (!walk->seen_directories.insert(entry->target_offset).second) {
    entry->target = EntryTarget::seen_directory;
    return true;
  }
  DirectoryFrame child;
  if (!open_directory(walk, entry->target_offset, &child)) return false;
  entry->target = EntryTarget::new_directory;
  entry->entry_count = child.entry_count;
  walk->stack.push_back(child);
  return true;
}

bool reach_data_entry(TreeWalk* walk, TreeEntry* entry) {
  uint64_t at = walk->root + entry->target_offset;
  if (!range_fits(at, pe::kResourceDataEntrySize, walk->image.size)) {
    return refuse(walk, InvalidReason::data_entry_outside);
  }
  if (!walk->seen_data_entries.insert(entry->target_offset).second) {
    entry->target = EntryTarget::seen_data_entry;
    return true;
  }
  entry->target = EntryTarget::new_data_entry;
  read_u32(walk->image, at + pe::kResourceDataOffsetToData, &entry->data_rva);
  read_u32(walk->image, at + pe::kResourceDataSize, &entry->data_size);
  if (walk->charge_items) {
    walk->charged_bytes += entry->data_size;
    if (walk->charged_bytes > item_budget(walk->image.size)) {
      return refuse(walk, InvalidReason::copy_budget_exceeded);
    }
  }
  return true;
}

}  // namespace

uint64_t item_budget(size_t image_size) {
  return 2 * uint64_t{image_size} + (uint64_t{64} << 20);
}

bool start_tree_walk(TreeWalk* walk, ByteSpan image, uint64_t root,
                     bool charge_items) {
  *walk = TreeWalk{};
  walk->image = image;
  walk->root = root;
  walk->charge_items = charge_items;
  walk->seen_directories.insert(0);
  walk->stack.resize(1);
  if (!open_directory(walk, 0, &walk->stack.back())) return false;
  walk->root_entry_count = walk->stack.back().entry_count;
  return true;
}

bool next_tree_entry(TreeWalk* walk, TreeEntry* entry) {
  while (!walk->stack.empty() &&
         walk->stack.back().next_entry == walk->stack.back().entry_count) {
    walk->stack.pop_back();
  }
  if (walk->stack.empty()) return false;
  DirectoryFrame& frame = walk->stack.back();
  uint32_t index = frame.next_entry++;
  uint64_t at = walk->root + frame.offset + pe::kResourceDirectorySize +
                uint64_t{pe::kResourceEntrySize} * index;
  uint32_t name = 0;
  uint32_t offset_to_data = 0;
  if (!read_u32(walk->image, at + pe::kResourceEntryName, &name) ||
      !read_u32(walk->image, at + pe::kResourceEntryOffsetToData,
                &offset_to_data)) {
    return refuse(walk, InvalidReason::entry_outside);
  }
  *entry = TreeEntry{};
  entry->level = static_cast<uint32_t>(walk->stack.size());
  if (entry->level <= kPathLevels) walk->path[entry->level - 1] = name;
  for (uint32_t i = 0; i < kPathLevels; ++i) {
    entry->path[i] = i < entry->level ? walk->path[i] : 0;
  }
  entry->named = index < frame.named_count;
  if (entry->named && !read_name(walk, entry, name)) return false;
  entry->target_offset = offset_to_data & ~pe::kResourceHighBit;
  if ((offset_to_data & pe::kResourceHighBit) != 0) {
    return enter_directory(walk, entry);
  }
  return reach_data_entry(walk, entry);
}

}  // namespace uitrans
