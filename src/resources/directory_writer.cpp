// SPDX-License-Identifier: MIT
#include "resources/directory_writer.h"

#include <algorithm>

#include "image/pe_format.h"
#include "resources/resource_tree.h"

namespace uitrans {

namespace {

DirectoryHeader read_header(ByteSpan image, uint64_t table) {
  DirectoryHeader header;
  read_u32(image, table + pe::kResourceCharacteristics,
           &header.characteristics);
  read_u32(image, table + pe::kResourceTimeDateStamp, &header.time_date_stamp);
  read_u16(image, table + pe::kResourceMajorVersion, &header.major_version);
  read_u16(image, table + pe::kResourceMinorVersion, &header.minor_version);
  return header;
}

bool read_entry_name(ByteSpan image, uint64_t root, const TreeEntry& entry,
                     EntryName* name) {
  name->named = entry.named;
  name->id = entry.path[entry.level - 1];
  if (!entry.named) return true;
  uint64_t units = root + entry.name_offset + 2;
  for (uint32_t i = 0; i < entry.name_length; ++i) {
    uint16_t unit = 0;
    if (!read_u16(image, units + 2 * uint64_t{i}, &unit)) return false;
    name->text.push_back(static_cast<char16_t>(unit));
  }
  return true;
}

// Files the entry at its level of the description.
TreeShape file_entry(ByteSpan image, uint64_t root, const TreeEntry& entry,
                     DirectoryTree* tree) {
  bool directory = entry.target == EntryTarget::new_directory;
  bool data = entry.target == EntryTarget::new_data_entry;
  EntryName name;
  if (!read_entry_name(image, root, entry, &name)) return TreeShape::unreadable;
  uint64_t target = root + entry.target_offset;
  if (entry.level == 1 && directory) {
    tree->types.push_back(TypeNode{name, read_header(image, target), {}});
  } else if (entry.level == 2 && directory) {
    tree->types.back().names.push_back(
        NameNode{name, read_header(image, target), {}});
  } else if (entry.level == 3 && data) {
    LanguageLeaf leaf{name, tree->item_count++, 0, 0};
    read_u32(image, target + pe::kResourceDataCodePage, &leaf.code_page);
    read_u32(image, target + pe::kResourceDataReserved, &leaf.reserved);
    tree->types.back().names.back().languages.push_back(leaf);
  } else {
    return TreeShape::not_simple;
  }
  return TreeShape::simple;
}

// Upper case as loaders compare names: Latin, Greek and Cyrillic letters;
// other units compare as they are.
char16_t upper(char16_t u) {
  if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7) ||
      (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) || (u >= 0x430 && u <= 0x44F)) {
    return static_cast<char16_t>(u - 0x20);
  }
  if (u >= 0x450 && u <= 0x45F) return static_cast<char16_t>(u - 0x50);
  if (u == 0xFF) return 0x178;
  return u;
}

template <typename Node>
std::vector<const Node*> sorted(const std::vector<Node>& nodes) {
  std::vector<const Node*> order;
  for (const Node& node : nodes) order.push_back(&node);
  std::stable_sort(order.begin(), order.end(),
                   [](const Node* a, const Node* b) {
                     return entry_before(a->name, b->name);
                   });
  return order;
}

// A table whose entries lead to the directories `children`, planned as
// directories first_child, first_child + 1, ... of the plan.
template <typename Node>
bool plan_table(const DirectoryHeader& header,
                const std::vector<const Node*>& children, uint32_t first_child,
                DirectoryPlan* plan) {
  PlannedDirectory table;
  table.header = header;
  for (const Node* child : children) {
    if (child->name.named) ++table.named_count;
    uint32_t target = first_child + static_cast<uint32_t>(table.entries.size());
    table.entries.push_back(PlannedEntry{&child->name, true, target});
  }
  if (children.size() - table.named_count > UINT16_MAX ||
      table.named_count == UINT16_MAX) {
    return false;
  }
  plan->directories.push_back(std::move(table));
  return true;
}

bool plan_leaves(const NameNode& name, DirectoryPlan* plan) {
  PlannedDirectory table;
  table.header = name.header;
  for (const LanguageLeaf* leaf : sorted(name.languages)) {
    if (leaf->name.named) ++table.named_count;
    uint32_t target = static_cast<uint32_t>(plan->leaves.size());
    plan->leaves.push_back(leaf);
    table.entries.push_back(PlannedEntry{&leaf->name, false, target});
  }
  if (table.entries.size() - table.named_count > UINT16_MAX) return false;
  plan->directories.push_back(std::move(table));
  return true;
}

// Offsets of the tables, the data entries and the strings, in that order.
bool place_plan(DirectoryPlan* plan) {
  uint64_t at = 0;
  uint64_t strings = 0;
  for (PlannedDirectory& table : plan->directories) {
    table.offset = static_cast<uint32_t>(std::min<uint64_t>(at, UINT32_MAX));
    at += pe::kResourceDirectorySize +
          uint64_t{pe::kResourceEntrySize} * table.entries.size();
    for (const PlannedEntry& entry : table.entries) {
      // The length word, the units and a zero unit, as compilers write them.
      if (entry.name->named)
        strings += 4 + 2 * uint64_t{entry.name->text.size()};
    }
  }
  uint64_t data_entries = at;
  at += uint64_t{pe::kResourceDataEntrySize} * plan->leaves.size();
  uint64_t strings_offset = at;
  uint64_t size = align_up(at + strings, 16);
  if (size > UINT32_MAX) return false;
  plan->data_entries_offset = static_cast<uint32_t>(data_entries);
  plan->strings_offset = static_cast<uint32_t>(strings_offset);
  plan->size = static_cast<uint32_t>(size);
  return true;
}

uint32_t write_name(const EntryName& name, uint8_t* out, uint32_t* next) {
  uint32_t at = *next;
  store_u16(out + at, static_cast<uint16_t>(name.text.size()));
  for (size_t i = 0; i < name.text.size(); ++i) {
    store_u16(out + at + 2 + 2 * i, static_cast<uint16_t>(name.text[i]));
  }
  *next = at + 4 + 2 * static_cast<uint32_t>(name.text.size());
  return at | pe::kResourceHighBit;
}

void write_table(const DirectoryPlan& plan, const PlannedDirectory& table,
                 uint8_t* out, uint32_t* next_string) {
  uint8_t* at = out + table.offset;
  store_u32(at + pe::kResourceCharacteristics, table.header.characteristics);
  store_u32(at + pe::kResourceTimeDateStamp, table.header.time_date_stamp);
  store_u16(at + pe::kResourceMajorVersion, table.header.major_version);
  store_u16(at + pe::kResourceMinorVersion, table.header.minor_version);
  store_u16(at + pe::kResourceNamedEntries, table.named_count);
  store_u16(at + pe::kResourceIdEntries,
            static_cast<uint16_t>(table.entries.size() - table.named_count));
  uint8_t* entry_at = at + pe::kResourceDirectorySize;
  for (const PlannedEntry& entry : table.entries) {
    uint32_t name = entry.name->named
                        ? write_name(*entry.name, out, next_string)
                        : entry.name->id;
    uint32_t target =
        entry.to_directory
            ? plan.directories[entry.target].offset | pe::kResourceHighBit
            : plan.data_entries_offset +
                  pe::kResourceDataEntrySize * entry.target;
    store_u32(entry_at + pe::kResourceEntryName, name);
    store_u32(entry_at + pe::kResourceEntryOffsetToData, target);
    entry_at += pe::kResourceEntrySize;
  }
}

}  // namespace

bool entry_before(const EntryName& a, const EntryName& b) {
  if (a.named != b.named) return a.named;
  if (!a.named) return a.id < b.id;
  size_t common = std::min(a.text.size(), b.text.size());
  for (size_t i = 0; i < common; ++i) {
    char16_t ua = upper(a.text[i]);
    char16_t ub = upper(b.text[i]);
    if (ua != ub) return ua < ub;
  }
  return a.text.size() < b.text.size();
}

TreeShape read_directory_tree(ByteSpan image, uint64_t root,
                              DirectoryTree* tree) {
  *tree = DirectoryTree{};
  TreeWalk walk;
  if (!start_tree_walk(&walk, image, root, false)) return TreeShape::unreadable;
  tree->header = read_header(image, root);
  TreeEntry entry;
  while (next_tree_entry(&walk, &entry)) {
    TreeShape shape = file_entry(image, root, entry, tree);
    if (shape != TreeShape::simple) return shape;
  }
  return walk.reason == InvalidReason::none ? TreeShape::simple
                                            : TreeShape::unreadable;
}

bool add_language_leaf(DirectoryTree* tree, uint32_t source, uint16_t language,
                       uint32_t item) {
  for (TypeNode& type : tree->types) {
    for (NameNode& name : type.names) {
      auto held = std::find_if(
          name.languages.begin(), name.languages.end(),
          [&](const LanguageLeaf& leaf) { return leaf.item == source; });
      if (held == name.languages.end()) continue;
      LanguageLeaf copy{EntryName{false, language, {}}, item, held->code_page,
                        held->reserved};
      auto existing =
          std::find_if(name.languages.begin(), name.languages.end(),
                       [&](const LanguageLeaf& leaf) {
                         return !leaf.name.named && leaf.name.id == language;
                       });
      if (existing != name.languages.end()) {
        *existing = copy;
      } else {
        name.languages.push_back(copy);
      }
      return true;
    }
  }
  return false;
}

bool plan_directory(const DirectoryTree& tree, DirectoryPlan* plan) {
  *plan = DirectoryPlan{};
  std::vector<const TypeNode*> types = sorted(tree.types);
  std::vector<std::vector<const NameNode*>> names;
  for (const TypeNode* type : types) names.push_back(sorted(type->names));
  // Breadth-first: the root, the type tables, then the name tables in the
  // order the type tables list them.
  uint32_t next_table = static_cast<uint32_t>(1 + types.size());
  if (!plan_table(tree.header, types, 1, plan)) return false;
  for (size_t t = 0; t < types.size(); ++t) {
    if (!plan_table(types[t]->header, names[t], next_table, plan)) return false;
    next_table += static_cast<uint32_t>(names[t].size());
  }
  for (const std::vector<const NameNode*>& of_type : names) {
    for (const NameNode* name : of_type) {
      if (!plan_leaves(*name, plan)) return false;
    }
  }
  return place_plan(plan);
}

void write_directory(const DirectoryPlan& plan,
                     const std::vector<ItemPlacement>& placements,
                     uint32_t data_start_rva, uint8_t* out) {
  uint32_t next_string = plan.strings_offset;
  for (const PlannedDirectory& table : plan.directories) {
    write_table(plan, table, out, &next_string);
  }
  for (size_t i = 0; i < plan.leaves.size(); ++i) {
    const LanguageLeaf& leaf = *plan.leaves[i];
    uint8_t* at = out + plan.data_entries_offset +
                  pe::kResourceDataEntrySize * static_cast<uint32_t>(i);
    const ItemPlacement& placed = placements[leaf.item];
    store_u32(at + pe::kResourceDataOffsetToData,
              data_start_rva + placed.area_offset);
    store_u32(at + pe::kResourceDataSize, placed.size);
    store_u32(at + pe::kResourceDataCodePage, leaf.code_page);
    store_u32(at + pe::kResourceDataReserved, leaf.reserved);
  }
}

}  // namespace uitrans
