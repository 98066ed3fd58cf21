// SPDX-License-Identifier: MIT
// Version blocks are built here from the layout of VS_VERSIONINFO alone, and
// read back by a reader of the test's own, so the production reader and
// writer are checked against a second reading of the format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "resources/version_info.h"
#include "support/pe_builder.h"
#include "support/resource_blocks.h"

namespace {

using testsupport::append16;
using testsupport::append32;
using testsupport::append_text;
using testsupport::Bytes;
using testsupport::get16;
using testsupport::pad_to;
using testsupport::put16;

using testsupport::fixed_file_info;
using testsupport::Node;
using testsupport::string_node;
using testsupport::string_table;
using testsupport::StringStyle;
using testsupport::Table;
using testsupport::version_block;
using testsupport::version_root;
using Strings = testsupport::VersionStrings;

const std::vector<Table> kEnglish = {{u"040904B0",
                                      {{u"CompanyName", u"Example Ltd"},
                                       {u"FileDescription", u"Sample editor"},
                                       {u"ProductName", u"Sample"}}}};

uitrans::ByteSpan span(const Bytes& bytes) {
  return uitrans::ByteSpan{bytes.data(), bytes.size()};
}

// ---- The test's own reader ----

struct Parsed {
  uint16_t length = 0;
  uint16_t value_length = 0;
  uint16_t type = 0;
  std::u16string key;
  size_t start = 0;
  size_t value_start = 0;
  std::vector<Parsed> children;
};

// Reads a node and its children, checking every rule of the layout; `leaf`
// is the depth whose nodes have no children.
bool parse(const Bytes& bytes, size_t start, size_t limit, int depth, int leaf,
           Parsed* node) {
  if (start % 4 != 0 || start + 6 > limit) return false;
  node->start = start;
  node->length = get16(bytes, start);
  node->value_length = get16(bytes, start + 2);
  node->type = get16(bytes, start + 4);
  size_t end = start + node->length;
  if (node->length < 6 || end > limit) return false;
  size_t at = start + 6;
  for (;; at += 2) {
    if (at + 2 > end) return false;
    uint16_t unit = get16(bytes, at);
    if (unit == 0) break;
    node->key.push_back(static_cast<char16_t>(unit));
  }
  node->value_start = (at + 2 + 3) & ~size_t{3};
  if (depth == leaf) return true;
  size_t value_bytes = node->value_length * (node->type ? 2u : 1u);
  size_t child = (node->value_start + value_bytes + 3) & ~size_t{3};
  while (child + 6 <= end) {
    Parsed parsed;
    if (!parse(bytes, child, end, depth + 1, leaf, &parsed)) return false;
    child = (parsed.start + parsed.length + 3) & ~size_t{3};
    node->children.push_back(std::move(parsed));
  }
  return true;
}

std::u16string value_text(const Bytes& bytes, const Parsed& string) {
  std::u16string text;
  for (size_t at = string.value_start;
       at + 2 <= string.start + string.length && get16(bytes, at) != 0;
       at += 2) {
    text.push_back(static_cast<char16_t>(get16(bytes, at)));
  }
  return text;
}

Bytes node_bytes(const Bytes& bytes, const Parsed& node) {
  return Bytes(
      bytes.begin() + static_cast<ptrdiff_t>(node.start),
      bytes.begin() + static_cast<ptrdiff_t>(node.start + node.length));
}

// The output as tables of strings, after checking its layout.
std::vector<Table> read_tables(const Bytes& bytes) {
  Parsed root;
  EXPECT_TRUE(parse(bytes, 0, bytes.size(), 0, 3, &root));
  std::vector<Table> tables;
  for (const Parsed& info : root.children) {
    if (info.key != u"StringFileInfo") continue;
    for (const Parsed& table : info.children) {
      Table read{table.key, {}};
      for (const Parsed& string : table.children) {
        read.strings.emplace_back(string.key, value_text(bytes, string));
      }
      tables.push_back(std::move(read));
    }
  }
  return tables;
}

std::vector<Table> listed(const uitrans::VersionLayout& layout) {
  std::vector<Table> tables;
  for (const uitrans::VersionString& string : layout.strings) {
    if (tables.empty() || tables.back().key != string.table_key) {
      tables.push_back(Table{string.table_key, {}});
    }
    tables.back().strings.emplace_back(string.key, string.value);
  }
  return tables;
}

Bytes rewrite(const Bytes& item,
              const std::vector<const std::u16string*>& values,
              uitrans::VersionFault expected = uitrans::VersionFault::none) {
  Bytes out;
  uitrans::VersionFault fault = uitrans::VersionFault::bad_values;
  bool ok = uitrans::write_version_info(span(item), values, &out, &fault);
  EXPECT_EQ(ok, expected == uitrans::VersionFault::none);
  EXPECT_EQ(fault, expected);
  return out;
}

// ---- Listing ----

struct StyleCase {
  const char* name;
  StringStyle style;
};

const StyleCase kStyles[] = {
    {"units with terminator", {}},
    {"without terminator", {false, false, 1, false}},
    {"length in bytes", {true, true, 1, false}},
    {"binary type", {true, false, 0, false}},
    {"padding counted", {true, false, 1, true}},
    {"bytes, no terminator, padding", {false, true, 1, true}},
};

TEST(VersionInfoTest, ListsTheStringsOfEveryWriterStyle) {
  const std::vector<Table> tables = {
      {u"040904B0", {{u"FileDescription", u"Editor"}, {u"Empty", u""}}},
      {u"040704E4", {{u"FileDescription", u"Bearbeiter"}, {u"A", u"xyz"}}}};
  for (const StyleCase& test : kStyles) {
    SCOPED_TRACE(test.name);
    const Bytes item = version_block(tables, test.style);
    uitrans::VersionLayout layout;
    ASSERT_TRUE(uitrans::read_version_info(span(item), &layout));
    EXPECT_EQ(listed(layout), tables);
    ASSERT_EQ(layout.translations.size(), 2u);
  }
}

TEST(VersionInfoTest, TrailingZeroUnitsStayOutOfTheText) {
  Node root = version_root({{u"040904B0", {{u"Key", u"ab"}}}});
  Node& string = root.children[0].children[0].children[0];
  append16(string.value, 0);
  append16(string.value, 0);
  string.value_length = 5;
  const Bytes item = build(root);
  uitrans::VersionLayout layout;
  ASSERT_TRUE(uitrans::read_version_info(span(item), &layout));
  ASSERT_EQ(layout.strings.size(), 1u);
  EXPECT_EQ(layout.strings[0].value, u"ab");
}

// ---- Rewriting ----

TEST(VersionInfoTest, ChangedStringGivesTheBlockACompilerWouldWrite) {
  for (const testsupport::ChangedText& test : testsupport::kChangedTexts) {
    SCOPED_TRACE(test.name);
    const Bytes item = version_block(kEnglish);
    const Bytes out = rewrite(item, {nullptr, &test.text});
    std::vector<Table> expected = kEnglish;
    expected[0].strings[1].second = test.text;
    EXPECT_EQ(out, version_block(expected));
  }
}

TEST(VersionInfoTest, ChangesInTwoTables) {
  const std::vector<Table> tables = {
      {u"040904B0", {{u"FileDescription", u"Editor"}, {u"Comments", u"c"}}},
      {u"040704E4", {{u"FileDescription", u"Editor"}, {u"Comments", u"c"}}}};
  const std::u16string first = u"Bearbeiter";
  const std::u16string last = u"Kommentare zum Programm";
  const Bytes out =
      rewrite(version_block(tables), {nullptr, nullptr, &first, &last});
  std::vector<Table> expected = tables;
  expected[1].strings[0].second = first;
  expected[1].strings[1].second = last;
  EXPECT_EQ(out, version_block(expected));
}

TEST(VersionInfoTest, NothingReplacedGivesTheItemBack) {
  for (const StyleCase& test : kStyles) {
    SCOPED_TRACE(test.name);
    Bytes item = version_block(kEnglish, test.style);
    item.insert(item.end(), {0, 0, 0xAB});  // the item's own padding
    EXPECT_EQ(rewrite(item, {}), item);
    EXPECT_EQ(rewrite(item, {nullptr, nullptr, nullptr}), item);
  }
}

// Blocks written in other styles: the new String comes in the compiler's
// style, every other node stays as it was, every wLength fits its children.
TEST(VersionInfoTest, ChangeInAnyStyleKeepsTheOtherNodes) {
  for (const StyleCase& test : kStyles) {
    SCOPED_TRACE(test.name);
    const Bytes item = version_block(kEnglish, test.style);
    const std::u16string text = u"A much longer description";
    const Bytes out = rewrite(item, {nullptr, &text});
    std::vector<Table> expected = kEnglish;
    expected[0].strings[1].second = text;
    EXPECT_EQ(read_tables(out), expected);

    Parsed before;
    Parsed after;
    ASSERT_TRUE(parse(item, 0, item.size(), 0, 3, &before));
    ASSERT_TRUE(parse(out, 0, out.size(), 0, 3, &after));
    // VS_FIXEDFILEINFO and VarFileInfo as they were.
    EXPECT_TRUE(
        std::equal(item.begin() + 40, item.begin() + 92, out.begin() + 40));
    EXPECT_EQ(node_bytes(out, after.children[1]),
              node_bytes(item, before.children[1]));
    const Parsed& old_table = before.children[0].children[0];
    const Parsed& new_table = after.children[0].children[0];
    EXPECT_EQ(node_bytes(out, new_table.children[0]),
              node_bytes(item, old_table.children[0]));
    EXPECT_EQ(node_bytes(out, new_table.children[2]),
              node_bytes(item, old_table.children[2]));
    // The new String, and parents ending where their last child ends.
    const Parsed& string = new_table.children[1];
    EXPECT_EQ(string.value_length, text.size() + 1);
    EXPECT_EQ(string.type, 1);
    EXPECT_EQ(string.length,
              string.value_start - string.start + 2 * (text.size() + 1));
    const Parsed& last = new_table.children[2];
    EXPECT_EQ(new_table.start + new_table.length, last.start + last.length);
    const Parsed& info = after.children[0];
    EXPECT_EQ(info.start + info.length, new_table.start + new_table.length);
    EXPECT_EQ(after.length, out.size());
  }
}

TEST(VersionInfoTest, MoreValuesThanStringsAreRefused) {
  const Bytes item = version_block(kEnglish);
  const std::u16string text = u"x";
  rewrite(item, {nullptr, nullptr, nullptr, &text},
          uitrans::VersionFault::bad_values);
}

TEST(VersionInfoTest, NodeOutgrowingSixteenBitsIsRefused) {
  const Bytes item = version_block(kEnglish);
  const std::u16string text(33000, u'x');
  rewrite(item, {&text}, uitrans::VersionFault::too_long);
}

// ---- Malformed blocks ----

struct MalformedCase {
  const char* name;
  Bytes item;
  uitrans::VersionFault fault;
};

Bytes with16(Bytes bytes, size_t offset, uint16_t value) {
  put16(bytes, offset, value);
  return bytes;
}

Bytes cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

// A 16-bit resource: wLength, wValueLength, then an ANSI key and the fixed
// information.
Bytes legacy_block() {
  Bytes out;
  append16(out, 0);
  append16(out, 52);
  const char key[] = "VS_VERSION_INFO";
  out.insert(out.end(), key, key + sizeof key);
  pad_to(out, 4);
  const Bytes value = fixed_file_info();
  out.insert(out.end(), value.begin(), value.end());
  put16(out, 0, static_cast<uint16_t>(out.size()));
  return out;
}

std::vector<MalformedCase> malformed_cases() {
  using uitrans::VersionFault;
  const Bytes good = version_block(kEnglish);
  Parsed root;
  EXPECT_TRUE(parse(good, 0, good.size(), 0, 3, &root));
  const Parsed& table = root.children[0].children[0];
  const Parsed& string = table.children[2];  // the table's last child
  Bytes unterminated = build(Node{u"VS_VERSION_INFO", 0, 0, {}, {}, false});
  unterminated.resize(unterminated.size() - 4);  // no zero unit left
  put16(unterminated, 0, static_cast<uint16_t>(unterminated.size()));
  return {
      {"shorter than a header", cut(good, 5), VersionFault::truncated},
      {"cut in half", cut(good, good.size() / 2), VersionFault::bad_length},
      {"root one byte past the item",
       with16(good, 0, static_cast<uint16_t>(good.size() + 1)),
       VersionFault::bad_length},
      {"root wLength below a header", with16(good, 0, 4),
       VersionFault::bad_length},
      {"key unterminated", unterminated, VersionFault::key_unterminated},
      {"root value past its end", with16(good, 2, 0xFFF0),
       VersionFault::value_overrun},
      {"string past its table",
       with16(good, string.start, static_cast<uint16_t>(string.length + 4)),
       VersionFault::bad_length},
      {"string wLength zero", with16(good, string.start, 0),
       VersionFault::bad_length},
      {"table past its parent",
       with16(good, table.start, static_cast<uint16_t>(table.length + 8)),
       VersionFault::bad_length},
      {"16-bit resource", legacy_block(), VersionFault::not_version_info},
      {"other root key", with16(good, 6, 'W'), VersionFault::not_version_info},
  };
}

TEST(VersionInfoTest, MalformedBlocksAreRefused) {
  for (const MalformedCase& test : malformed_cases()) {
    SCOPED_TRACE(test.name);
    uitrans::VersionLayout layout;
    EXPECT_FALSE(uitrans::read_version_info(span(test.item), &layout));
    EXPECT_EQ(layout.fault, test.fault);
    Bytes out;
    uitrans::VersionFault fault = uitrans::VersionFault::none;
    const std::u16string text = u"x";
    EXPECT_FALSE(
        uitrans::write_version_info(span(test.item), {&text}, &out, &fault));
    EXPECT_EQ(fault, test.fault);
  }
}

// The root ending exactly at the item's end reads; one byte more does not.
TEST(VersionInfoTest, RootEndingAtTheItemEnd) {
  Bytes item = version_block(kEnglish);
  pad_to(item, 4);
  item.push_back(0);
  uitrans::VersionLayout layout;
  put16(item, 0, static_cast<uint16_t>(item.size()));
  EXPECT_TRUE(uitrans::read_version_info(span(item), &layout));
  put16(item, 0, static_cast<uint16_t>(item.size() + 1));
  EXPECT_FALSE(uitrans::read_version_info(span(item), &layout));
  EXPECT_EQ(layout.fault, uitrans::VersionFault::bad_length);
}

// The last String ending exactly at its table's end reads; one byte more
// runs past it.
TEST(VersionInfoTest, StringEndingAtItsTableEnd) {
  const Bytes good = version_block(kEnglish);
  Parsed root;
  ASSERT_TRUE(parse(good, 0, good.size(), 0, 3, &root));
  const Parsed& table = root.children[0].children[0];
  const Parsed& last = table.children[2];
  ASSERT_EQ(last.start + last.length, table.start + table.length);
  uitrans::VersionLayout layout;
  EXPECT_TRUE(uitrans::read_version_info(span(good), &layout));
  const Bytes over =
      with16(good, last.start, static_cast<uint16_t>(last.length + 1));
  EXPECT_FALSE(uitrans::read_version_info(span(over), &layout));
  EXPECT_EQ(layout.fault, uitrans::VersionFault::bad_length);
}

// Every prefix and every single changed byte: read, rewrite, never crash.
TEST(VersionInfoTest, DamagedBlocksNeverCrash) {
  const Bytes good = version_block(kEnglish);
  const std::u16string text = u"replacement";
  for (size_t size = 0; size < good.size(); ++size) {
    Bytes item = cut(good, size);
    uitrans::VersionLayout layout;
    EXPECT_FALSE(uitrans::read_version_info(span(item), &layout));
  }
  for (size_t at = 0; at < good.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
      Bytes item = good;
      item[at] = value;
      Bytes out;
      uitrans::VersionFault fault;
      uitrans::write_version_info(span(item), {&text, &text}, &out, &fault);
    }
  }
}

// ---- Language ----

TEST(VersionInfoTest, SetLanguageChangesTableKeysAndTranslations) {
  const std::vector<Table> tables = {{u"040904B0", {{u"A", u"a"}}},
                                     {u"040704e4", {{u"B", u"b"}}}};
  const Bytes item = version_block(tables);
  Bytes out;
  uitrans::VersionFault fault = uitrans::VersionFault::bad_values;
  ASSERT_TRUE(uitrans::set_version_language(span(item), 0x0419, &out, &fault));
  EXPECT_EQ(fault, uitrans::VersionFault::none);
  std::vector<Table> expected = tables;
  expected[0].key = u"041904B0";
  expected[1].key = u"041904e4";
  EXPECT_EQ(read_tables(out), expected);
  uitrans::VersionLayout layout;
  ASSERT_TRUE(uitrans::read_version_info(span(out), &layout));
  ASSERT_EQ(layout.translations.size(), 2u);
  EXPECT_EQ(get16(out, layout.translations[0]), 0x0419);
  EXPECT_EQ(get16(out, layout.translations[0] + 2), 0x04B0);
  EXPECT_EQ(get16(out, layout.translations[1]), 0x0419);
  EXPECT_EQ(get16(out, layout.translations[1] + 2), 0x04E4);
  EXPECT_EQ(out.size(), item.size());
}

TEST(VersionInfoTest, SetLanguageRefusesShortTableKey) {
  const Bytes item = version_block({{u"409", {{u"A", u"a"}}}});
  Bytes out;
  uitrans::VersionFault fault = uitrans::VersionFault::none;
  EXPECT_FALSE(uitrans::set_version_language(span(item), 0x0419, &out, &fault));
  EXPECT_EQ(fault, uitrans::VersionFault::short_table_key);
}

}  // namespace
