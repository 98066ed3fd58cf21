// SPDX-License-Identifier: MIT
#include "support/resource_blocks.h"

namespace testsupport {

const ChangedText kChangedTexts[5] = {
    {"longer", u"Sample text editor for everyone"},
    {"shorter", u"Ed"},
    {"equal", u"Sample EDITOR"},
    {"odd length", u"Abc"},
    {"empty", u""},
};

Bytes build(const Node& node) {
  Bytes out(6, 0);
  append_text(out, node.key);
  append16(out, 0);
  pad_to(out, 4);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    pad_to(out, 4);
    Bytes bytes = build(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  if (node.length_counts_padding) pad_to(out, 4);
  put16(out, 0, static_cast<uint16_t>(out.size()));
  put16(out, 2, node.value_length);
  put16(out, 4, node.type);
  return out;
}

Node string_node(const std::u16string& key, const std::u16string& value,
                 StringStyle style) {
  Node node;
  node.key = key;
  node.type = style.type;
  append_text(node.value, value);
  if (style.terminator) append16(node.value, 0);
  size_t units = value.size() + (style.terminator ? 1 : 0);
  node.value_length =
      static_cast<uint16_t>(style.length_in_bytes ? 2 * units : units);
  node.length_counts_padding = style.length_counts_padding;
  return node;
}

Bytes fixed_file_info() {
  Bytes value;
  append32(value, 0xFEEF04BD);  // dwSignature
  append32(value, 0x00010000);  // dwStrucVersion
  for (uint32_t i = 0; i < 11; ++i) append32(value, 0x01020304 + i);
  return value;
}

Node string_table(const Table& table, StringStyle style) {
  Node node;
  node.key = table.key;
  node.type = 1;
  for (const auto& [key, value] : table.strings) {
    node.children.push_back(string_node(key, value, style));
  }
  return node;
}

Node version_root(const std::vector<Table>& tables, StringStyle style) {
  Node root;
  root.key = u"VS_VERSION_INFO";
  root.value = fixed_file_info();
  root.value_length = static_cast<uint16_t>(root.value.size());
  Node file_info;
  file_info.key = u"StringFileInfo";
  file_info.type = 1;
  for (const Table& table : tables) {
    file_info.children.push_back(string_table(table, style));
  }
  Node var;
  var.key = u"Translation";
  append32(var.value, 0x04B00409);
  append32(var.value, 0x04E40407);
  var.value_length = 8;
  Node var_info;
  var_info.key = u"VarFileInfo";
  var_info.type = 1;
  var_info.children.push_back(var);
  root.children.push_back(file_info);
  root.children.push_back(var_info);
  return root;
}

Bytes version_block(const std::vector<Table>& tables, StringStyle style) {
  return build(version_root(tables, style));
}

Bytes unicode_entry(const std::u16string& text, size_t extra) {
  Bytes out(4, 0);
  append_text(out, text);
  append16(out, 0);
  pad_to(out, 4);
  out.insert(out.end(), extra, 0);
  put16(out, 0, static_cast<uint16_t>(out.size()));
  put16(out, 2, 1);
  return out;
}

Bytes ansi_entry(const std::string& text) {
  Bytes out(4, 0);
  for (char byte : text) out.push_back(static_cast<uint8_t>(byte));
  out.push_back(0);
  pad_to(out, 4);
  put16(out, 0, static_cast<uint16_t>(out.size()));
  put16(out, 2, 0);
  return out;
}

Bytes message_table(const std::vector<Block>& blocks) {
  Bytes out;
  append32(out, static_cast<uint32_t>(blocks.size()));
  size_t offset = 4 + 12 * blocks.size();
  for (const Block& block : blocks) {
    append32(out, block.low_id);
    append32(out,
             block.low_id + static_cast<uint32_t>(block.entries.size()) - 1);
    append32(out, static_cast<uint32_t>(offset));
    for (const Bytes& entry : block.entries) offset += entry.size();
  }
  for (const Block& block : blocks) {
    for (const Bytes& entry : block.entries) {
      out.insert(out.end(), entry.begin(), entry.end());
    }
  }
  return out;
}

}  // namespace testsupport
