// List-file parsing: marks, byte order, line breaks, dropped lines and the
// order of the table.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "replace/replacement_table.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

struct Parsed {
  uitrans::ListLoadStatus status;
  Pairs pairs;
};

Parsed parse(const Bytes& bytes) {
  uitrans::ReplacementTable table;
  Parsed parsed;
  parsed.status = uitrans::parse_replacement_list(
      uitrans::ByteSpan{bytes.data(), bytes.size()}, &table);
  for (const uitrans::ReplacementEntry& entry : table.entries) {
    parsed.pairs.emplace_back(
        std::u16string(entry.find, entry.find_length),
        std::u16string(entry.replacement, entry.replacement_length));
  }
  return parsed;
}

Bytes raw_units(const std::u16string& text) {
  Bytes bytes;
  testsupport::append_text(bytes, text);
  return bytes;
}

struct ListCase {
  const char* label;
  Bytes file;
  Pairs expected;
};

TEST(ListParserTest, LinesAndPairsTable) {
  const std::vector<ListCase> cases = {
      {"crlf",
       raw_units(u"\xFEFF"
                 u"ab\r\ncd\r\n"),
       {{u"ab", u"cd"}}},
      {"lf",
       raw_units(u"\xFEFF"
                 u"ab\ncd\n"),
       {{u"ab", u"cd"}}},
      {"lone cr",
       raw_units(u"\xFEFF"
                 u"ab\rcd\r"),
       {{u"ab", u"cd"}}},
      {"no final break",
       raw_units(u"\xFEFF"
                 u"ab\ncd"),
       {{u"ab", u"cd"}}},
      {"blank lines between pairs",
       raw_units(u"\xFEFF\n\n"
                 u"ab\r\ncd\r\n\r\n\n"
                 u"ef\ngh"),
       {{u"ab", u"cd"}, {u"ef", u"gh"}}},
      {"single character in find position is skipped",
       raw_units(u"\xFEFF"
                 u"x\nab\ncd\n"),
       {{u"ab", u"cd"}}},
      {"single character replacement drops the pair",
       raw_units(u"\xFEFF"
                 u"ab\nc\nef\ngh\n"),
       {{u"ef", u"gh"}}},
      {"empty line as replacement pairs with the next line",
       raw_units(u"\xFEFF"
                 u"ab\n\ncd\nef\n"),
       {{u"cd", u"ef"}}},
      {"trailing find line is dropped",
       raw_units(u"\xFEFF"
                 u"ab\ncd\nef\n"),
       {{u"ab", u"cd"}}},
      {"trailing find line without break is dropped",
       raw_units(u"\xFEFF"
                 u"ab\ncd\nef"),
       {{u"ab", u"cd"}}},
      {"spaces and tabs are kept",
       raw_units(u"\xFEFF \tab \n  cd\t\n"),
       {{u" \tab ", u"  cd\t"}}},
      {"cr cr lf is two breaks",
       raw_units(u"\xFEFF"
                 u"ab\r\r\ncd\nef\n"),
       {{u"cd", u"ef"}}},
      {"longest find first, equal lengths in file order",
       raw_units(u"\xFEFF"
                 u"ab\n11\nabcd\n22\ncd\n33\nabc\n44\n"),
       {{u"abcd", u"22"}, {u"abc", u"44"}, {u"ab", u"11"}, {u"cd", u"33"}}},
      {"odd size: last byte is a unit with a zero high byte",
       testsupport::concat({raw_units(u"\xFEFF"
                                      u"ab\n"),
                            {'c', 0, 'd'}}),
       {{u"ab", u"cd"}}},
      {"embedded zero ends a line",
       raw_units(std::u16string(u"\xFEFF"
                                u"ab\0zz\ncd\n",
                                10)),
       {{u"ab", u"zz"}}},
      {"more than ten entries",
       raw_units(u"\xFEFF"
                 u"a0\nb0\na1\nb1\na2\nb2\na3\nb3\na4\nb4\na5\nb5\n"
                 u"a6\nb6\na7\nb7\na8\nb8\na9\nb9\naa\nba\n"),
       {{u"a0", u"b0"},
        {u"a1", u"b1"},
        {u"a2", u"b2"},
        {u"a3", u"b3"},
        {u"a4", u"b4"},
        {u"a5", u"b5"},
        {u"a6", u"b6"},
        {u"a7", u"b7"},
        {u"a8", u"b8"},
        {u"a9", u"b9"},
        {u"aa", u"ba"}}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.label);
    const Parsed parsed = parse(c.file);
    EXPECT_EQ(parsed.status, uitrans::ListLoadStatus::ok);
    EXPECT_EQ(parsed.pairs, c.expected);
  }
}

TEST(ListParserTest, SameTableFromEveryEncoding) {
  const std::vector<std::u16string> lines = {u"&Open", u"&Laden", u"", u"E&xit",
                                             u"&Beenden"};
  const Pairs expected = {{u"&Open", u"&Laden"}, {u"E&xit", u"&Beenden"}};
  for (auto order :
       {testsupport::ByteOrder::little, testsupport::ByteOrder::big}) {
    for (auto line_break :
         {testsupport::LineBreak::crlf, testsupport::LineBreak::lf,
          testsupport::LineBreak::cr}) {
      for (bool final_break : {true, false}) {
        const Parsed parsed = parse(testsupport::make_list(
            lines, testsupport::ListFormat{order, line_break, final_break}));
        EXPECT_EQ(parsed.status, uitrans::ListLoadStatus::ok);
        EXPECT_EQ(parsed.pairs, expected);
      }
    }
  }
}

TEST(ListParserTest, BigEndianOddSizeTakesAZeroLowByte) {
  // FE FF, then "ab" LF big-endian, then a lone byte 0x63: after the swap it
  // is the high byte of unit 0x6300.
  const Bytes file = {0xFE, 0xFF, 0, 'a',  0, 'b', 0, '\n', 0,   'x',
                      0,    'y',  0, '\n', 0, 'c', 0, 'd',  0x63};
  const Parsed parsed = parse(file);
  EXPECT_EQ(parsed.pairs, (Pairs{{u"ab", u"xy"}}));
  const Bytes file2 = {0xFE, 0xFF, 0, 'a', 0, 'b', 0, '\n', 0, 'x', 0x63};
  EXPECT_EQ(parse(file2).pairs, (Pairs{{u"ab", u"x\x6300"}}));
}

TEST(ListParserTest, WithoutMarkIsNotUnicode) {
  const std::vector<Bytes> files = {
      {}, {0xFF}, {0xFE}, {'a', 'b', '\n', 0}, {0xFF, 0xFF, 'a', 0}};
  for (const Bytes& file : files) {
    EXPECT_EQ(parse(file).status, uitrans::ListLoadStatus::not_unicode);
  }
  EXPECT_EQ(parse({0xFF, 0xFE}).status, uitrans::ListLoadStatus::ok);
  EXPECT_TRUE(parse({0xFF, 0xFE}).pairs.empty());
  EXPECT_EQ(parse({0xFE, 0xFF}).status, uitrans::ListLoadStatus::ok);
}

}  // namespace
