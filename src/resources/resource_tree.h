// SPDX-License-Identifier: MIT
// The one walk over a resource directory tree, shared by the prefix measure,
// the rebuild and the read-only passes (text extraction).
//
// The walk is depth-first in entry order with an explicit stack, so any
// nesting depth is safe, and enters each directory and each data entry at
// most once, so trees that share nodes or loop back to an ancestor take time
// linear in their size. Every structure is bounds-checked before use.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "common/bytes.h"
#include "common/invalid_reason.h"

namespace uitrans {

// What an entry's OffsetToData leads to.
enum class EntryTarget {
  new_directory,    // a directory entered for the first time
  seen_directory,   // entered before: skipped
  new_data_entry,   // a data entry reached for the first time
  seen_data_entry,  // reached before: keeps pointing at its first copy
};

// The raw Name fields of the entries on the way to a node: the resource
// type, the resource name and the language, in real trees.
inline constexpr uint32_t kPathLevels = 3;

// One directory entry, with what it leads to.
struct TreeEntry {
  uint32_t level = 0;               // 1 for the root directory's entries
  uint32_t path[kPathLevels] = {};  // Name fields at levels 1-3, this one's too
  bool named = false;               // among the directory's named entries
  uint64_t name_offset = 0;         // from the root, when named
  uint16_t name_length = 0;         // in units
  EntryTarget target = EntryTarget::new_directory;
  uint64_t target_offset = 0;  // of the directory or data entry, from the root
  uint32_t entry_count = 0;    // of a new directory
  uint32_t data_rva = 0;       // OffsetToData of a new data entry
  uint32_t data_size = 0;      // Size of a new data entry
};

// A directory being walked: its offset from the root and the next entry.
struct DirectoryFrame {
  uint64_t offset = 0;
  uint32_t named_count = 0;
  uint32_t entry_count = 0;
  uint32_t next_entry = 0;
};

struct TreeWalk {
  ByteSpan image;
  uint64_t root = 0;  // image offset of the root directory
  uint32_t root_entry_count = 0;
  std::vector<DirectoryFrame> stack;
  std::unordered_set<uint64_t> seen_directories;
  std::unordered_set<uint64_t> seen_data_entries;
  uint32_t path[kPathLevels] = {};
  // With a budget, the Sizes of the data entries reached are added up, and
  // a tree whose items add up to far more than the file is refused.
  bool charge_items = false;
  uint64_t charged_bytes = 0;
  InvalidReason reason = InvalidReason::none;
};

// Opens the root directory; false (with walk->reason) when it does not lie
// inside the image.
bool start_tree_walk(TreeWalk* walk, ByteSpan image, uint64_t root,
                     bool charge_items);

// The next entry of the walk. False at the end of the tree, or when a
// structure lies outside the image or the budget is exceeded (then
// walk->reason says which).
bool next_tree_entry(TreeWalk* walk, TreeEntry* entry);

// Data entries may share or overlap items, and each is copied anew, so a
// small file could make the copies add up to gigabytes. Real trees copy each
// byte once at most; a tree whose items add up to more than this is refused.
uint64_t item_budget(size_t image_size);

}  // namespace uitrans
