// SPDX-License-Identifier: MIT
// The kinds of resources whose texts uitrans reads and rewrites, one row
// each: the rebuild, the extraction, the report and the labels of references
// all go through this table. Every other resource is copied byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "common/outcome.h"

namespace uitrans {

struct ItemContext;  // rebuild.h
struct TextRecord;   // text_record.h

// The kinds a run asks for beyond those always rewritten, and the languages
// it rewrites them in.
struct KindSelection {
  bool string_tables = false;
  bool message_tables = false;
  bool version_info = false;
  // Language ids whose items are rewritten; empty for every language.
  std::vector<uint16_t> languages;
};

// One data item as the tree walk meets it.
struct ItemSource {
  ByteSpan image;                  // the whole image buffer
  uint64_t offset = 0;             // where the item starts in the image
  uint32_t size = 0;               // the item's Size in the input
  const uint32_t* path = nullptr;  // raw Names: type, name, language
};

struct ResourceKind {
  uint32_t type = 0;            // the raw Name of the root-level entry
  const char* label = nullptr;  // in references and the report: "MENU"
  // The option that enables the kind, and its switch; none when the kind
  // is always rewritten.
  const char* option = nullptr;
  bool KindSelection::*enabled = nullptr;
  // The reader's rule: the bytes from the item's start the kind reads for
  // an item of `size` bytes (menus are read as whole units).
  uint64_t (*read_length)(uint32_t size) = nullptr;
  // Writes the item, texts replaced, at output->used and gives its new Size.
  Outcome (*rewrite)(const ItemContext& item, uint32_t* new_size) = nullptr;
  // Lists the texts of the item in the order the rewriter looks them up.
  Outcome (*extract)(const ItemSource& item,
                     std::vector<TextRecord>* records) = nullptr;
};

// Every kind uitrans knows, in the order of their types.
const std::vector<ResourceKind>& resource_kinds();

// The kind of a resource type, or null for a type uitrans only copies.
const ResourceKind* kind_of_type(uint32_t type);

// The kind of a resource type when the run rewrites it, or null.
const ResourceKind* enabled_kind(uint32_t type, const KindSelection& kinds);

// The kind of the item at `path` (type, name, language) when the run
// rewrites it: its type enabled and its language selected. A language
// entry with a name is never one of the ids selected.
const ResourceKind* kind_for_item(const uint32_t* path,
                                  const KindSelection& kinds);

// The kinds' rows: each kind's file defines its functions.
Outcome rewrite_menu(const ItemContext& item, uint32_t* new_size);
Outcome extract_menu(const ItemSource& item, std::vector<TextRecord>* records);
Outcome rewrite_dialog(const ItemContext& item, uint32_t* new_size);
Outcome extract_dialog(const ItemSource& item,
                       std::vector<TextRecord>* records);
Outcome rewrite_string_block(const ItemContext& item, uint32_t* new_size);
Outcome extract_string_block(const ItemSource& item,
                             std::vector<TextRecord>* records);
Outcome rewrite_message_table(const ItemContext& item, uint32_t* new_size);
Outcome extract_message_table(const ItemSource& item,
                              std::vector<TextRecord>* records);
Outcome rewrite_version_info(const ItemContext& item, uint32_t* new_size);
Outcome extract_version_info(const ItemSource& item,
                             std::vector<TextRecord>* records);

}  // namespace uitrans
