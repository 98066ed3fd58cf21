// SPDX-License-Identifier: MIT
// Menu items are scanned unit by unit; extended templates keep their 4-byte
// alignment. Which texts are replaced (whole texts, tails, adjacent texts, a
// text running past the item) is the end-to-end table
// RewriteTest.MenuTextsTable; here are the cases an image cannot show.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::units;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

struct Rewritten {
  uitrans::Message status = uitrans::Message::none;
  Bytes item;
  int32_t count = 0;
};

// Rewrites `image[offset, offset + size)` as a menu item.
Rewritten rewrite(const Pairs& pairs, const Bytes& image, uint32_t offset,
                  uint32_t size) {
  const Bytes list = testsupport::make_pair_list(pairs);
  uitrans::ReplacementTable table;
  uitrans::parse_replacement_list(uitrans::ByteSpan{list.data(), list.size()},
                                  &table);
  uitrans::RebuildOutput output;
  EXPECT_TRUE(uitrans::reserve_output(&output, uint64_t{size} + 102400));
  uitrans::ItemContext item;
  item.item.image = uitrans::ByteSpan{image.data(), image.size()};
  item.item.offset = offset;
  item.item.size = size;
  item.table = &table;
  item.output = &output;
  Rewritten result;
  item.replaced_count = &result.count;
  uint32_t new_size = 0;
  result.status = uitrans::rewrite_menu(item, &new_size).message;
  result.item.assign(output.data, output.data + new_size);
  uitrans::release_output(&output);
  return result;
}

Rewritten rewrite(const Pairs& pairs, const Bytes& item) {
  return rewrite(pairs, item, 0, static_cast<uint32_t>(item.size()));
}

TEST(MenuRewriterTest, TextReachingTheEndOfTheImageIsNoMatch) {
  const Bytes image = units({0, 'A', 'B'});
  const Rewritten result = rewrite({{u"AB", u"XYZ"}}, image, 0, 6);
  EXPECT_EQ(result.item, image);
  EXPECT_EQ(result.count, 0);
}

// The byte after an odd-sized item is the image's, copied as it is.
TEST(MenuRewriterTest, OddSizeTakesTheNextByte) {
  const Bytes image = {'a', 0, 'b', 0, 0, 0, 'Q', 'R'};
  const Rewritten result = rewrite({{u"ab", u"cd"}}, image, 0, 7);
  EXPECT_EQ(result.item, units({'c', 'd', 0, 0x5251}));
}

struct ExtendedCase {
  const char* label;
  std::u16string find;
  std::u16string replacement;
};

TEST(MenuRewriterTest, ExtendedTemplatesStayAligned) {
  using testsupport::MenuItem;
  auto menu = [](const std::u16string& first, const std::u16string& second) {
    return testsupport::make_menuex(
        {MenuItem{u"&File",
                  0,
                  {MenuItem{first, 1, {}, 0}, MenuItem{u"Exit", 2, {}, 0}},
                  0},
         MenuItem{second, 3, {}, 0}});
  };
  const std::vector<ExtendedCase> cases = {
      {"odd text, one longer", u"Abc", u"Abcd"},
      {"odd text, one shorter", u"Abc", u"Ab"},
      {"even text, one longer", u"Abcd", u"Abcde"},
      {"even text, three shorter", u"Abcdef", u"Abc"},
      {"even text, two longer", u"Abcd", u"Abcdef"},
      {"odd text, same length", u"Abc", u"Xyz"},
  };
  for (const ExtendedCase& c : cases) {
    SCOPED_TRACE(c.label);
    const Rewritten result =
        rewrite({{c.find, c.replacement}}, menu(c.find, c.find));
    EXPECT_EQ(result.item, menu(c.replacement, c.replacement));
    EXPECT_EQ(result.count, 2);
    EXPECT_EQ(result.item.size() % 4, 0u);
  }
}

TEST(MenuRewriterTest, ClassicTemplatesAreNotRealigned) {
  // First unit 0: the odd difference is kept as it is.
  const Rewritten result =
      rewrite({{u"Abc", u"Abcd"}}, units({0, 0, 0, 1, 'A', 'b', 'c', 0, 0, 9}));
  EXPECT_EQ(result.item, units({0, 0, 0, 1, 'A', 'b', 'c', 'd', 0, 0, 9}));
}

TEST(MenuRewriterTest, ExtendedRealignRules) {
  // Version 1; text at unit 1 (odd). After "ab" + zero, i = 4 (even).
  // One unit longer: o = 5, odd distance, i even -> a zero is written.
  EXPECT_EQ(rewrite({{u"ab", u"abc"}}, units({1, 'a', 'b', 0, 7, 8})).item,
            units({1, 'a', 'b', 'c', 0, 0, 7, 8}));
  // Text at unit 2: after "abc" + zero, i = 6; "ab" gives o = 5: odd
  // distance, i even -> zero written.
  EXPECT_EQ(rewrite({{u"abc", u"ab"}}, units({1, 9, 'a', 'b', 'c', 0, 7})).item,
            units({1, 9, 'a', 'b', 0, 0, 7}));
  // Text at unit 1: "abc" + zero ends at i = 5 (odd) and unit 5 is zero:
  // "abcd" gives o = 6 -> the source's zero is skipped.
  EXPECT_EQ(
      rewrite({{u"abc", u"abcd"}}, units({1, 'a', 'b', 'c', 0, 0, 7, 8})).item,
      units({1, 'a', 'b', 'c', 'd', 0, 7, 8}));
  // Same, but unit 5 is not zero: a zero is written instead.
  EXPECT_EQ(
      rewrite({{u"abc", u"abcd"}}, units({1, 'a', 'b', 'c', 0, 5, 7, 8})).item,
      units({1, 'a', 'b', 'c', 'd', 0, 0, 5, 7, 8}));
  // The unit after the item counts as not zero even when the image has one.
  const Bytes image = units({1, 'a', 'b', 'c', 0, 0, 0});
  EXPECT_EQ(rewrite({{u"abc", u"abcd"}}, image, 0, 10).item,
            units({1, 'a', 'b', 'c', 'd', 0, 0}));
}

}  // namespace
