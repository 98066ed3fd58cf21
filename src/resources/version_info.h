// SPDX-License-Identifier: MIT
// Version information (RT_VERSION): a tree of nodes, each
//   wLength, wValueLength, wType (u16 each), szKey (zero-terminated UTF-16),
//   padding to 32 bits, the value, padding to 32 bits, the children,
// every node starting on a 32-bit boundary from the item's start. The root
// VS_VERSION_INFO holds VS_FIXEDFILEINFO; its StringFileInfo child holds
// StringTables (keyed by language and code page, "040904B0") of Strings
// (key and text); its VarFileInfo child holds the Translation list.
//
// The reader lists the Strings and says where each node lies; the writer
// uses the same reader, so listing and rewriting cannot disagree. Offsets
// and lengths count bytes from the item's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace uitrans {

// Why a version block was refused (tests assert it; never printed).
enum class VersionFault : uint8_t {
  none,
  truncated,         // a node's header does not fit where it starts
  bad_length,        // wLength shorter than a header or past its parent's end
  key_unterminated,  // no zero unit before the node's end
  value_overrun,     // the value runs past the node's end
  not_version_info,  // the root key is not UTF-16 "VS_VERSION_INFO" (this
                     // includes the 16-bit resources, whose keys are ANSI)
  too_long,          // writer: a rebuilt node would not fit a 16-bit wLength
  bad_values,        // writer: more new values than Strings
  short_table_key,   // a StringTable key without four hex digits to change
};

// What a walked node is, by its place and key.
enum class VersionNodeKind : uint8_t {
  root,
  string_file_info,
  string_table,
  string,
  var_file_info,
  var,    // a Var under VarFileInfo ("Translation")
  other,  // any other child of the root, copied as it is
};

inline constexpr uint32_t kNoNode = UINT32_MAX;

// One node the reader walked: the root, its children, and the nodes below
// StringFileInfo and VarFileInfo. Other nodes are copied whole and not
// looked into. Nodes are in the order of the item; a node's children follow
// it, linked through first_child and next_sibling.
struct VersionNode {
  VersionNodeKind kind = VersionNodeKind::other;
  uint32_t start = 0;   // its wLength field, on a 32-bit boundary
  uint16_t length = 0;  // wLength as stored
  uint16_t value_length = 0;
  uint16_t type = 0;
  uint32_t key_start = 0;       // first unit of szKey
  uint32_t key_units = 0;       // without the terminator
  uint32_t value_start = 0;     // after the key's padding (may equal the end)
  uint32_t children_start = 0;  // after the value's padding
  uint32_t parent = kNoNode;
  uint32_t first_child = kNoNode;
  uint32_t next_sibling = kNoNode;
};

// A String of a StringTable under StringFileInfo.
struct VersionString {
  std::u16string table_key;  // the StringTable's key, "040904B0"
  std::u16string key;        // "FileDescription"
  // The text up to its first zero unit: a String has no children, so its
  // value runs to the node's end (wValueLength is counted in units by most
  // compilers and in bytes by some, so it cannot bound it), and terminators
  // or padding some writers count in it stay out of the text.
  std::u16string value;
  uint32_t node = 0;        // index into VersionLayout::nodes
  uint32_t table_node = 0;  // the StringTable's node
};

struct VersionLayout {
  std::vector<VersionNode> nodes;  // nodes[0] is the root
  std::vector<VersionString> strings;
  // The Translation values under VarFileInfo: offsets of their DWORDs
  // (language word first, then the code page word).
  std::vector<uint32_t> translations;
  VersionFault fault = VersionFault::none;
};

// Reads the version block `item`. False (with layout->fault) when a node
// does not fit where it lies: its header, key, value or children run past
// the end of its parent (the root's parent is the item).
bool read_version_info(ByteSpan item, VersionLayout* layout);

// Rebuilds `item` with new texts: `values` is parallel to the listed
// Strings (it may be shorter), null keeps a String. A replaced String is
// written as compilers write it: header, key, padding, the text and a zero
// unit, wValueLength counting the units with the zero, wType 1. Every node
// on the way from a replaced String to the root gets its wLength again, the
// node ending where its last child ends: the last child's trailing padding
// is not counted (as Microsoft's resource compiler writes it), the padding
// between children is. Other nodes, and bytes of the item after the root,
// are copied byte for byte; with nothing replaced the output is the item.
// False (with *fault) when the item does not read or a node outgrows 16
// bits.
bool write_version_info(ByteSpan item,
                        const std::vector<const std::u16string*>& values,
                        std::vector<uint8_t>* out, VersionFault* fault);

// The item with language `language` in every StringTable key (its first
// four hex digits, upper case as compilers write them) and in the language
// word of every Translation value; code pages and everything else are kept.
// The layout keeps its size. False (with *fault) when the item does not read
// or a StringTable key is shorter than four units (short_table_key).
bool set_version_language(ByteSpan item, uint16_t language,
                          std::vector<uint8_t>* out, VersionFault* fault);

}  // namespace uitrans
