// SPDX-License-Identifier: MIT
// Version information: reading the node tree, rebuilding it with new String
// texts, and changing the language it names.
#include "resources/version_info.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace uitrans {

namespace {

// A node's header, from its start.
constexpr uint32_t kLengthField = 0;
constexpr uint32_t kValueLengthField = 2;
constexpr uint32_t kTypeField = 4;
constexpr uint32_t kKeyField = 6;
constexpr uint32_t kHeaderSize = 6;

constexpr uint16_t kTextType = 1;
constexpr uint32_t kMaxNodeLength = 0xFFFF;

constexpr std::u16string_view kRootKey = u"VS_VERSION_INFO";
constexpr std::u16string_view kStringFileInfoKey = u"StringFileInfo";
constexpr std::u16string_view kVarFileInfoKey = u"VarFileInfo";
constexpr std::u16string_view kTranslationKey = u"Translation";

uint32_t node_end(const VersionNode& node) {
  return node.start + uint32_t{node.length};
}

char16_t ascii_lower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

// Keys are compared without regard to ASCII case, as the version functions
// of Windows look them up.
bool key_is(ByteSpan item, const VersionNode& node, std::u16string_view name) {
  if (node.key_units != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    uint16_t unit = 0;
    if (!read_u16(item, uint64_t{node.key_start} + 2 * i, &unit)) return false;
    if (ascii_lower(unit) != ascii_lower(name[i])) return false;
  }
  return true;
}

std::u16string units_between(ByteSpan item, uint32_t start, size_t count) {
  std::u16string text;
  uint16_t unit = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!read_u16(item, uint64_t{start} + 2 * i, &unit)) break;
    text.push_back(static_cast<char16_t>(unit));
  }
  return text;
}

bool fail(VersionLayout* layout, VersionFault fault) {
  layout->fault = fault;
  return false;
}

// Finds the zero unit that ends the key; it must lie inside the node.
bool read_key(ByteSpan item, VersionNode* node) {
  uint64_t end = node_end(*node);
  uint64_t position = uint64_t{node->start} + kKeyField;
  uint16_t unit = 1;
  while (unit != 0) {
    if (!range_fits(position, 2, end) || !read_u16(item, position, &unit)) {
      return false;
    }
    position += 2;
  }
  node->key_start = node->start + kKeyField;
  node->key_units = static_cast<uint32_t>((position - node->key_start) / 2 - 1);
  // A node may end right after its key (an empty String without padding).
  node->value_start =
      static_cast<uint32_t>(std::min<uint64_t>(align_up(position, 4), end));
  node->children_start = node->value_start;
  return true;
}

// Reads the header and key of the node at `start`, which must end by
// `limit`, and appends it to the layout.
bool read_node(ByteSpan item, uint32_t start, uint32_t limit, uint32_t parent,
               VersionLayout* layout, uint32_t* index) {
  VersionNode node;
  node.start = start;
  node.parent = parent;
  if (!range_fits(start, kHeaderSize, limit) ||
      !read_u16(item, uint64_t{start} + kLengthField, &node.length) ||
      !read_u16(item, uint64_t{start} + kValueLengthField,
                &node.value_length) ||
      !read_u16(item, uint64_t{start} + kTypeField, &node.type)) {
    return fail(layout, VersionFault::truncated);
  }
  if (node.length < kHeaderSize || !range_fits(start, node.length, limit)) {
    return fail(layout, VersionFault::bad_length);
  }
  if (!read_key(item, &node)) {
    return fail(layout, VersionFault::key_unterminated);
  }
  *index = static_cast<uint32_t>(layout->nodes.size());
  layout->nodes.push_back(node);
  return true;
}

// Where the children of a node with a value start. Text values are counted
// in units and binary ones in bytes, as the version functions of Windows
// count them when they step over a value.
bool find_children(VersionNode* node) {
  uint64_t value_bytes =
      uint64_t{node->value_length} * (node->type != 0 ? 2 : 1);
  uint64_t end = node_end(*node);
  if (!range_fits(node->value_start, value_bytes, end)) return false;
  node->children_start = static_cast<uint32_t>(
      std::min<uint64_t>(align_up(node->value_start + value_bytes, 4), end));
  return true;
}

// Reads the children of node `parent`, each on a 32-bit boundary, giving
// each one its kind. Fewer bytes than a header left before the parent's end
// are trailing padding some writers count in wLength.
bool read_children(ByteSpan item, uint32_t parent, VersionNodeKind kind,
                   VersionLayout* layout) {
  if (!find_children(&layout->nodes[parent])) {
    return fail(layout, VersionFault::value_overrun);
  }
  const uint32_t end = node_end(layout->nodes[parent]);
  uint32_t position = layout->nodes[parent].children_start;
  uint32_t previous = kNoNode;
  while (position < end && end - position >= kHeaderSize) {
    uint32_t child = 0;
    if (!read_node(item, position, end, parent, layout, &child)) return false;
    layout->nodes[child].kind = kind;
    if (previous == kNoNode) {
      layout->nodes[parent].first_child = child;
    } else {
      layout->nodes[previous].next_sibling = child;
    }
    previous = child;
    position = static_cast<uint32_t>(
        align_up(uint64_t{node_end(layout->nodes[child])}, 4));
  }
  return true;
}

// The text of a String: a String has no children, so its value runs to the
// node's end; the text stops at its first zero unit.
void read_string(ByteSpan item, uint32_t node_index, uint32_t table_index,
                 VersionLayout* layout) {
  const VersionNode& node = layout->nodes[node_index];
  const VersionNode& table = layout->nodes[table_index];
  VersionString string;
  string.node = node_index;
  string.table_node = table_index;
  string.table_key = units_between(item, table.key_start, table.key_units);
  string.key = units_between(item, node.key_start, node.key_units);
  uint32_t end = node_end(node);
  uint16_t unit = 0;
  for (uint64_t at = node.value_start; range_fits(at, 2, end); at += 2) {
    if (!read_u16(item, at, &unit) || unit == 0) break;
    string.value.push_back(static_cast<char16_t>(unit));
  }
  layout->strings.push_back(std::move(string));
}

bool read_string_file_info(ByteSpan item, uint32_t info,
                           VersionLayout* layout) {
  if (!read_children(item, info, VersionNodeKind::string_table, layout)) {
    return false;
  }
  for (uint32_t table = layout->nodes[info].first_child; table != kNoNode;
       table = layout->nodes[table].next_sibling) {
    if (!read_children(item, table, VersionNodeKind::string, layout)) {
      return false;
    }
    for (uint32_t string = layout->nodes[table].first_child; string != kNoNode;
         string = layout->nodes[string].next_sibling) {
      read_string(item, string, table, layout);
    }
  }
  return true;
}

// Records where the DWORDs of each Translation value lie.
bool read_var_file_info(ByteSpan item, uint32_t info, VersionLayout* layout) {
  if (!read_children(item, info, VersionNodeKind::var, layout)) return false;
  for (uint32_t var = layout->nodes[info].first_child; var != kNoNode;
       var = layout->nodes[var].next_sibling) {
    VersionNode& node = layout->nodes[var];
    if (!key_is(item, node, kTranslationKey)) continue;
    if (!find_children(&node)) {
      return fail(layout, VersionFault::value_overrun);
    }
    uint64_t value_bytes = uint64_t{node.value_length} * (node.type ? 2 : 1);
    for (uint64_t at = 0; at + 4 <= value_bytes; at += 4) {
      layout->translations.push_back(
          static_cast<uint32_t>(node.value_start + at));
    }
  }
  return true;
}

bool read_root_children(ByteSpan item, VersionLayout* layout) {
  if (!read_children(item, 0, VersionNodeKind::other, layout)) return false;
  for (uint32_t child = layout->nodes[0].first_child; child != kNoNode;
       child = layout->nodes[child].next_sibling) {
    if (key_is(item, layout->nodes[child], kStringFileInfoKey)) {
      layout->nodes[child].kind = VersionNodeKind::string_file_info;
      if (!read_string_file_info(item, child, layout)) return false;
    } else if (key_is(item, layout->nodes[child], kVarFileInfoKey)) {
      layout->nodes[child].kind = VersionNodeKind::var_file_info;
      if (!read_var_file_info(item, child, layout)) return false;
    }
  }
  return true;
}

// ---- Rebuilding ----

struct Rebuild {
  ByteSpan item;
  const VersionLayout* layout = nullptr;
  std::vector<const std::u16string*> replacement;  // per node
  std::vector<bool> changed;                       // per node
  std::vector<uint32_t> new_length;                // per node
};

// Marks each replaced String and every node above it.
bool mark_changes(const std::vector<const std::u16string*>& values,
                  Rebuild* rebuild) {
  const VersionLayout& layout = *rebuild->layout;
  rebuild->replacement.assign(layout.nodes.size(), nullptr);
  rebuild->changed.assign(layout.nodes.size(), false);
  bool any = false;
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] == nullptr) continue;
    uint32_t node = layout.strings[i].node;
    rebuild->replacement[node] = values[i];
    for (; node != kNoNode; node = layout.nodes[node].parent) {
      rebuild->changed[node] = true;
    }
    any = true;
  }
  return any;
}

// Header and key, then the text at the next 32-bit boundary.
uint32_t string_value_offset(const VersionNode& node) {
  return static_cast<uint32_t>(
      align_up(kKeyField + 2 * (uint64_t{node.key_units} + 1), 4));
}

// The new wLength of every node, children before their parents (they
// follow them in the layout).
bool measure(Rebuild* rebuild) {
  const std::vector<VersionNode>& nodes = rebuild->layout->nodes;
  rebuild->new_length.assign(nodes.size(), 0);
  for (size_t i = nodes.size(); i-- > 0;) {
    const VersionNode& node = nodes[i];
    uint64_t length = node.length;
    if (rebuild->replacement[i] != nullptr) {
      length = string_value_offset(node) +
               2 * (uint64_t{rebuild->replacement[i]->size()} + 1);
    } else if (rebuild->changed[i]) {
      length = node.children_start - node.start;
      for (uint32_t child = node.first_child; child != kNoNode;
           child = nodes[child].next_sibling) {
        length = align_up(length, 4) + rebuild->new_length[child];
      }
    }
    if (length > kMaxNodeLength) return false;
    rebuild->new_length[i] = static_cast<uint32_t>(length);
  }
  return true;
}

void write_string(const Rebuild& rebuild, uint32_t index, uint8_t* at) {
  const VersionNode& node = rebuild.layout->nodes[index];
  const std::u16string& text = *rebuild.replacement[index];
  store_u16(at + kLengthField,
            static_cast<uint16_t>(rebuild.new_length[index]));
  store_u16(at + kValueLengthField, static_cast<uint16_t>(text.size() + 1));
  store_u16(at + kTypeField, kTextType);
  std::memcpy(at + kKeyField, rebuild.item.data + node.key_start,
              2 * (size_t{node.key_units} + 1));
  uint8_t* value = at + string_value_offset(node);
  for (size_t i = 0; i < text.size(); ++i) {
    store_u16(value + 2 * i, static_cast<uint16_t>(text[i]));
  }
  // The terminator and the padding are the buffer's zeros.
}

// Writes node `index` at `at`, whose room new_length has measured; `at` is
// on a 32-bit boundary of the output, as the node's start is in the item.
void write_node(const Rebuild& rebuild, uint32_t index, uint8_t* at) {
  const VersionNode& node = rebuild.layout->nodes[index];
  if (!rebuild.changed[index]) {
    std::memcpy(at, rebuild.item.data + node.start, node.length);
    return;
  }
  if (rebuild.replacement[index] != nullptr) {
    write_string(rebuild, index, at);
    return;
  }
  // Header, key, value and their padding as they are; the new wLength.
  size_t position = node.children_start - node.start;
  std::memcpy(at, rebuild.item.data + node.start, position);
  store_u16(at + kLengthField,
            static_cast<uint16_t>(rebuild.new_length[index]));
  const std::vector<VersionNode>& nodes = rebuild.layout->nodes;
  for (uint32_t child = node.first_child; child != kNoNode;
       child = nodes[child].next_sibling) {
    position = static_cast<size_t>(align_up(position, 4));
    write_node(rebuild, child, at + position);
    position += rebuild.new_length[child];
  }
}

bool refuse(VersionFault* fault, VersionFault reason) {
  if (fault != nullptr) *fault = reason;
  return false;
}

}  // namespace

bool read_version_info(ByteSpan item, VersionLayout* layout) {
  *layout = VersionLayout{};
  uint32_t root = 0;
  if (item.size > UINT32_MAX) return fail(layout, VersionFault::bad_length);
  if (!read_node(item, 0, static_cast<uint32_t>(item.size), kNoNode, layout,
                 &root)) {
    return false;
  }
  layout->nodes[root].kind = VersionNodeKind::root;
  if (!key_is(item, layout->nodes[root], kRootKey)) {
    return fail(layout, VersionFault::not_version_info);
  }
  return read_root_children(item, layout);
}

bool write_version_info(ByteSpan item,
                        const std::vector<const std::u16string*>& values,
                        std::vector<uint8_t>* out, VersionFault* fault) {
  VersionLayout layout;
  if (!read_version_info(item, &layout)) return refuse(fault, layout.fault);
  if (values.size() > layout.strings.size()) {
    return refuse(fault, VersionFault::bad_values);
  }
  Rebuild rebuild;
  rebuild.item = item;
  rebuild.layout = &layout;
  if (fault != nullptr) *fault = VersionFault::none;
  if (!mark_changes(values, &rebuild)) {
    out->assign(item.data, item.data + item.size);
    return true;
  }
  if (!measure(&rebuild)) return refuse(fault, VersionFault::too_long);
  // Bytes after the root (the item's own padding) follow the new root.
  const size_t tail = item.size - layout.nodes[0].length;
  out->assign(rebuild.new_length[0] + tail, 0);
  write_node(rebuild, 0, out->data());
  if (tail > 0) {
    std::memcpy(out->data() + rebuild.new_length[0],
                item.data + layout.nodes[0].length, tail);
  }
  return true;
}

bool set_version_language(ByteSpan item, uint16_t language,
                          std::vector<uint8_t>* out, VersionFault* fault) {
  VersionLayout layout;
  if (!read_version_info(item, &layout)) return refuse(fault, layout.fault);
  out->assign(item.data, item.data + item.size);
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  for (const VersionNode& node : layout.nodes) {
    if (node.kind != VersionNodeKind::string_table) continue;
    if (node.key_units < 4) return refuse(fault, VersionFault::short_table_key);
    for (uint32_t digit = 0; digit < 4; ++digit) {
      uint16_t nibble = (language >> (12 - 4 * digit)) & 0xF;
      store_u16(out->data() + node.key_start + 2 * digit,
                static_cast<uint16_t>(kHexDigits[nibble]));
    }
  }
  for (uint32_t offset : layout.translations) {
    store_u16(out->data() + offset, language);  // the language word
  }
  if (fault != nullptr) *fault = VersionFault::none;
  return true;
}

}  // namespace uitrans
