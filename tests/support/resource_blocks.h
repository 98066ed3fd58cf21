// SPDX-License-Identifier: MIT
// Builders of version information and message tables, written from the
// formats alone: the blocks resource compilers write, with the ways they
// differ as options.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/pe_builder.h"

namespace testsupport {

// Replacement texts that exercise a block's lengths and padding: longer,
// shorter and as long as the text they replace, an odd number of units,
// and empty.
struct ChangedText {
  const char* name;
  std::u16string text;
};
extern const ChangedText kChangedTexts[5];

// ---- Version information ----

struct Node {
  std::u16string key;
  uint16_t type = 0;
  uint16_t value_length = 0;
  Bytes value;
  std::vector<Node> children;
  bool length_counts_padding = false;  // wLength includes trailing padding
};

// How a String's value is written: the ways compilers differ.
struct StringStyle {
  bool terminator = true;        // a zero unit after the text
  bool length_in_bytes = false;  // wValueLength counts bytes, not units
  uint16_t type = 1;             // some writers say binary
  bool length_counts_padding = false;
};

// A node's bytes from a 32-bit boundary, without trailing padding unless
// the node counts it.
Bytes build(const Node& node);

Node string_node(const std::u16string& key, const std::u16string& value,
                 StringStyle style = {});

// A VS_FIXEDFILEINFO with its signature.
Bytes fixed_file_info();

using VersionStrings = std::vector<std::pair<std::u16string, std::u16string>>;

struct Table {
  std::u16string key;
  VersionStrings strings;
  bool operator==(const Table&) const = default;
};

Node string_table(const Table& table, StringStyle style);
// VS_VERSION_INFO with the fixed info, the tables under StringFileInfo and
// a Translation under VarFileInfo.
Node version_root(const std::vector<Table>& tables, StringStyle style = {});
Bytes version_block(const std::vector<Table>& tables, StringStyle style = {});

// ---- Message tables ----

// One entry: Length, Flags, the text, a terminator, zeros to 4 bytes (and
// `extra` more zero bytes, as some tools pad).
Bytes unicode_entry(const std::u16string& text, size_t extra = 0);
Bytes ansi_entry(const std::string& text);

struct Block {
  uint32_t low_id;
  std::vector<Bytes> entries;
};

// The layout message compilers write: the blocks, then their entries.
Bytes message_table(const std::vector<Block>& blocks);

}  // namespace testsupport
