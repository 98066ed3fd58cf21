// SPDX-License-Identifier: MIT
// The resource directory as a plain description, and writing it anew.
//
// A run that adds a language cannot keep the directory prefix: language
// entries are added to it. The tree is read into the description below
// (types, names, languages, each language leading to a data item), changed
// there, and written out: every table with its entries in the order loaders
// search them by bisection, then the data entries, then the name strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace uitrans {

// The fields of a directory table beyond its entry counts, kept as read.
struct DirectoryHeader {
  uint32_t characteristics = 0;
  uint32_t time_date_stamp = 0;
  uint16_t major_version = 0;
  uint16_t minor_version = 0;
};

// An entry's Name: an id, or a string.
struct EntryName {
  bool named = false;
  uint32_t id = 0;      // the raw Name field of an id entry
  std::u16string text;  // of a named entry
};

struct LanguageLeaf {
  EntryName name;
  uint32_t item = 0;  // the data item, counted in walk order
  uint32_t code_page = 0;
  uint32_t reserved = 0;
};

struct NameNode {
  EntryName name;
  DirectoryHeader header;
  std::vector<LanguageLeaf> languages;
};

struct TypeNode {
  EntryName name;
  DirectoryHeader header;
  std::vector<NameNode> names;
};

struct DirectoryTree {
  DirectoryHeader header;
  std::vector<TypeNode> types;
  uint32_t item_count = 0;  // data entries read
};

enum class TreeShape {
  simple,      // three levels, every node reached once
  unreadable,  // a structure lies outside the image
  not_simple,  // shared or looping nodes, or data entries at other levels
};

// Reads the tree at `root` into *tree. Only a simple tree can be written
// anew: in any other, rewriting one table would change what another reads.
TreeShape read_directory_tree(ByteSpan image, uint64_t root,
                              DirectoryTree* tree);

// Puts `item` under `language` beside the leaf of item `source`, in place of
// a leaf of that language already there; the code page is the source's.
// False when no leaf holds `source`.
bool add_language_leaf(DirectoryTree* tree, uint32_t source, uint16_t language,
                       uint32_t item);

// Where each data item lies in the new data area, by item.
struct ItemPlacement {
  uint32_t area_offset = 0;
  uint32_t size = 0;
};

// One directory table as it will be written.
struct PlannedEntry {
  const EntryName* name = nullptr;
  bool to_directory = false;
  uint32_t target = 0;  // a directory of the plan, or a leaf of the plan
};

struct PlannedDirectory {
  DirectoryHeader header;
  uint16_t named_count = 0;
  std::vector<PlannedEntry> entries;
  uint32_t offset = 0;  // from the root
};

// The new prefix, measured: tables breadth-first (the root, the types, the
// names), the data entries in the order of the sorted leaves, then the name
// strings.
struct DirectoryPlan {
  std::vector<PlannedDirectory> directories;
  std::vector<const LanguageLeaf*> leaves;
  uint32_t data_entries_offset = 0;
  uint32_t strings_offset = 0;
  uint32_t size = 0;  // rounded up to 16
};

// False when the prefix would pass 4 GiB, or a directory 65535 entries of
// a group. The plan points into `tree`, which must outlive it.
bool plan_directory(const DirectoryTree& tree, DirectoryPlan* plan);

// Fills plan.size bytes at `out` (zeroed by the caller). Data entries point
// at data_start_rva + the item's area offset.
void write_directory(const DirectoryPlan& plan,
                     const std::vector<ItemPlacement>& placements,
                     uint32_t data_start_rva, uint8_t* out);

// Whether entry `a` comes before `b` in a table: named entries first, by
// their names in upper case unit by unit (loaders upper-case the name they
// look for and compare it so), then ids in ascending order.
bool entry_before(const EntryName& a, const EntryName& b);

}  // namespace uitrans
