// SPDX-License-Identifier: MIT
// List-file parsing: marks, byte order, line breaks, dropped lines and the
// order of the table; gettext catalogues read as lists, and the templates
// written for them.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "driver/list_file.h"
#include "replace/po_catalogue.h"
#include "replace/po_writer.h"
#include "replace/replacement_table.h"
#include "support/files.h"
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
      {"finds far longer than there are entries, longest first",
       raw_units(u"\xFEFF" + std::u16string(1100, u'a') + u"\n11\nab\n22\n" +
                 std::u16string(5000, u'b') + u"\n33\ncd\n44\n" +
                 std::u16string(1201, u'c') + u"\n55\n"),
       {{std::u16string(5000, u'b'), u"33"},
        {std::u16string(1201, u'c'), u"55"},
        {std::u16string(1100, u'a'), u"11"},
        {u"ab", u"22"},
        {u"cd", u"44"}}},
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
  // The mark and the unit of a lone odd byte after it.
  EXPECT_EQ(parse({0xFF, 0xFE, 'a'}).status, uitrans::ListLoadStatus::ok);
  EXPECT_EQ(parse({0xFE, 0xFF, 'a'}).status, uitrans::ListLoadStatus::ok);
}

TEST(ListParserTest, EntriesKeepTheLineOfTheirFindText) {
  using Lines = std::vector<std::pair<std::u16string, uint32_t>>;
  const std::vector<std::pair<std::u16string, Lines>> cases = {
      {u"\xFEFF"
       u"ab\r\ncd\r\n\r\nef\ngh\rx\nijk\nlm\r\n\r\n\r\nno\r\npq",
       {{u"ijk", 7}, {u"ab", 1}, {u"ef", 4}, {u"no", 11}}},
      // Breaks after skipped lines, dropped pairs and zero units.
      {std::u16string(u"\xFEFF"
                      u"x\r\nab\r\nc\r\nde\0fg\r\r\nhi\njk\rlm\r\nno\r\n",
                      33),
       {{u"de", 4}, {u"hi", 6}, {u"lm", 8}}},
  };
  for (const auto& [text, expected] : cases) {
    uitrans::ReplacementTable table;
    const Bytes file = raw_units(text);
    ASSERT_EQ(uitrans::parse_replacement_list(
                  uitrans::ByteSpan{file.data(), file.size()}, &table),
              uitrans::ListLoadStatus::ok);
    Lines lines;
    for (const uitrans::ReplacementEntry& entry : table.entries) {
      lines.emplace_back(std::u16string(entry.find, entry.find_length),
                         entry.line);
    }
    EXPECT_EQ(lines, expected);
  }
}

TEST(ListParserTest, AMovedTableKeepsItsEntries) {
  static_assert(!std::is_copy_constructible_v<uitrans::ReplacementTable>);
  static_assert(!std::is_copy_assignable_v<uitrans::ReplacementTable>);
  uitrans::ReplacementTable table;
  const Bytes file = raw_units(
      u"\xFEFF"
      u"abc\nxyz\nde\nfg\n");
  ASSERT_EQ(uitrans::parse_replacement_list(
                uitrans::ByteSpan{file.data(), file.size()}, &table),
            uitrans::ListLoadStatus::ok);
  const char16_t* buffer = table.list_units.get();
  uitrans::ReplacementTable moved(std::move(table));
  uitrans::ReplacementTable assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.list_units.get(), buffer);
  ASSERT_EQ(assigned.entries.size(), 2u);
  EXPECT_EQ(std::u16string(assigned.entries[0].find), u"abc");
  EXPECT_EQ(std::u16string(assigned.entries[1].replacement), u"fg");
  const Bytes probe = raw_units(std::u16string(u"de\0", 3));
  EXPECT_EQ(uitrans::find_replacement(
                assigned, uitrans::UnitView{probe.data(), probe.size() / 2}, 0),
            1u);
}

// Gettext catalogues.

Bytes utf8(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct PoParsed {
  bool ok = false;
  uitrans::CatalogueProblem problem;
  Pairs pairs;
  std::vector<uint32_t> lines;
};

PoParsed parse_po(const std::string& text) {
  std::vector<uitrans::CataloguePair> pairs;
  PoParsed parsed;
  parsed.ok = uitrans::parse_po_catalogue(
      uitrans::ByteSpan{reinterpret_cast<const uint8_t*>(text.data()),
                        text.size()},
      &pairs, &parsed.problem);
  for (const uitrans::CataloguePair& pair : pairs) {
    parsed.pairs.emplace_back(pair.find, pair.replacement);
    parsed.lines.push_back(pair.line);
  }
  return parsed;
}

const std::string kPoHeader =
    "# A translation.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Project-Id-Version: app\\n\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\n";

struct PoCase {
  const char* label;
  std::string file;
  Pairs expected;
};

TEST(CatalogueTest, EntriesTable) {
  const std::string ab_cd = "msgid \"ab\"\nmsgstr \"cd\"\n";
  const std::vector<PoCase> cases = {
      {"header and one entry",
       kPoHeader + "msgid \"&Open\"\nmsgstr \"&Laden\"\n",
       {{u"&Open", u"&Laden"}}},
      {"multi-line strings",
       "msgid \"\"\n\"Line one\\n\"\n\"line two\"\n"
       "msgstr \"\"\n\"Zeile eins\\n\"\n   \"Zeile zwei\"  \n",
       {{u"Line one\nline two", u"Zeile eins\nZeile zwei"}}},
      {"keyword alone, several strings on a line",
       "msgid\n\"a\" \"b\"\nmsgstr \"c\"\"d\"\n",
       {{u"ab", u"cd"}}},
      {"escapes",
       R"(msgid "a\tb\\c\"d\re\nf")"
       "\n"
       R"(msgstr "\a\b\f\v!")"
       "\n",
       {{u"a\tb\\c\"d\re\nf", u"\a\b\f\v!"}}},
      {"octal and hexadecimal escapes are bytes of UTF-8",
       R"(msgid "caf\303\251")"
       "\n"
       R"(msgstr "\x43\xC3\xa9\1011")"
       "\n",
       {{u"caf\u00E9", u"C\u00E9A1"}}},
      {"UTF-8 text, astral characters",
       "msgid \"\xC3\x9C\x62\xE2\x82\xAC\"\nmsgstr \"\xF0\x9F\x98\x80!\"\n",
       {{u"\u00DCb\u20AC", u"\U0001F600!"}}},
      {"comments of every kind",
       "# translator\n#. extracted\n#: app.exe:MENU/2/0409\n#, c-format\n"
       "#| msgid \"old\"\n  # indented\n" +
           ab_cd,
       {{u"ab", u"cd"}}},
      {"fuzzy entries are skipped",
       "#, fuzzy\n" + ab_cd +
           "\n#, c-format, fuzzy\nmsgid \"ef\"\n"
           "msgstr \"gh\"\n\n#, fuzzyish\nmsgid \"ij\"\nmsgstr \"kl\"\n",
       {{u"ij", u"kl"}}},
      {"obsolete entries are skipped, with their flags",
       "#, fuzzy\n#~ msgid \"xy\"\n#~ msgstr \"zz\"\n" + ab_cd,
       {{u"ab", u"cd"}}},
      {"plural entries are skipped",
       "msgid \"file\"\nmsgid_plural \"files\"\nmsgstr[0] \"Datei\"\n"
       "msgstr [1] \"Dateien\"\n" +
           ab_cd,
       {{u"ab", u"cd"}}},
      {"empty msgstr is skipped",
       "msgid \"xy\"\nmsgstr \"\"\n" + ab_cd,
       {{u"ab", u"cd"}}},
      {"msgctxt is read and ignored",
       "msgctxt \"menu\"\n" + ab_cd +
           "msgctxt \"dialog\"\nmsgid \"ab\"\n"
           "msgstr \"ef\"\n",
       {{u"ab", u"cd"}, {u"ab", u"ef"}}},
      {"UTF-8 mark, CR LF, no final break",
       "\xEF\xBB\xBFmsgid \"ab\"\r\nmsgstr \"cd\"",
       {{u"ab", u"cd"}}},
      {"charset in any case",
       "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=utf-8\\n\"\n" +
           ab_cd,
       {{u"ab", u"cd"}}},
      {"template charset placeholder",
       "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CHARSET\\n\"\n" +
           ab_cd,
       {{u"ab", u"cd"}}},
      {"short texts are pairs here, dropped by the table",
       "msgid \"a\"\nmsgstr \"b\"\n",
       {{u"a", u"b"}}},
      {"empty file", "", {}},
  };
  for (const PoCase& c : cases) {
    SCOPED_TRACE(c.label);
    const PoParsed parsed = parse_po(c.file);
    EXPECT_TRUE(parsed.ok) << parsed.problem.line;
    EXPECT_EQ(parsed.pairs, c.expected);
  }
}

TEST(CatalogueTest, PairsKeepTheLineOfTheirMsgid) {
  const PoParsed parsed = parse_po(kPoHeader +
                                   "#: a\nmsgid \"ab\"\nmsgstr \"cd\"\n\n"
                                   "msgctxt \"x\"\nmsgid \"\"\n\"ef\"\n"
                                   "msgstr \"gh\"\n");
  EXPECT_EQ(parsed.lines, (std::vector<uint32_t>{8, 12}));
}

struct PoRefusal {
  const char* label;
  std::string file;
  uitrans::CatalogueError error;
  uint32_t line;
};

TEST(CatalogueTest, RefusalsNameTheLine) {
  using uitrans::CatalogueError;
  const std::vector<PoRefusal> cases = {
      {"string not closed", "msgid \"ab\nmsgstr \"cd\"\n",
       CatalogueError::syntax, 1},
      {"unknown keyword", "msgid \"ab\"\nmsgstring \"cd\"\n",
       CatalogueError::syntax, 2},
      {"string before any keyword", "\n\"ab\"\n", CatalogueError::syntax, 2},
      {"text after a string", "msgid \"ab\" x\n", CatalogueError::syntax, 1},
      {"msgstr without msgid", "msgstr \"ab\"\n", CatalogueError::syntax, 1},
      {"two msgid", "msgid \"ab\"\nmsgid \"cd\"\n", CatalogueError::syntax, 2},
      {"comment inside an entry", "msgid \"ab\"\n# note\nmsgstr \"cd\"\n",
       CatalogueError::syntax, 2},
      {"keyword without a string", "msgid \"ab\"\nmsgstr\n\nmsgid \"cd\"\n",
       CatalogueError::syntax, 2},
      {"entry cut off by the end",
       "msgid \"ab\"\nmsgstr \"cd\"\n\nmsgid \"ef\"\n", CatalogueError::syntax,
       4},
      {"plural form without msgid_plural", "msgid \"ab\"\nmsgstr[0] \"cd\"\n",
       CatalogueError::syntax, 2},
      {"plural form without number",
       "msgid \"a\"\nmsgid_plural \"b\"\n"
       "msgstr[] \"c\"\n",
       CatalogueError::syntax, 3},
      {"unknown escape", "msgid \"a\\qb\"\nmsgstr \"cd\"\n",
       CatalogueError::invalid_escape, 1},
      {"zero byte", "msgid \"ab\"\nmsgstr \"c\\0d\"\n",
       CatalogueError::invalid_escape, 2},
      {"hexadecimal beyond a byte", "msgid \"ab\"\nmsgstr \"\\x100\"\n",
       CatalogueError::invalid_escape, 2},
      {"hexadecimal without digits", "msgid \"ab\"\nmsgstr \"\\xg\"\n",
       CatalogueError::invalid_escape, 2},
      {"backslash at the end of the line", "msgid \"ab\\\n",
       CatalogueError::invalid_escape, 1},
      {"invalid UTF-8 byte", "msgid \"ab\"\nmsgstr \"c\xFF\"\n",
       CatalogueError::invalid_utf8, 2},
      {"invalid UTF-8 in a comment", "# \xC3\nmsgid \"ab\"\nmsgstr \"cd\"\n",
       CatalogueError::invalid_utf8, 1},
      {"surrogate written in UTF-8", "msgid \"\xED\xA0\x80\"\n",
       CatalogueError::invalid_utf8, 1},
      {"overlong form", "msgid \"\xC0\xAF\"\n", CatalogueError::invalid_utf8,
       1},
      {"escapes that make no UTF-8", "msgid \"ab\"\nmsgstr \"\"\n\"\\303\"\n",
       CatalogueError::invalid_utf8, 2},
      {"foreign charset",
       "# header\nmsgid \"\"\nmsgstr \"\"\n"
       "\"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n",
       CatalogueError::foreign_charset, 2},
  };
  for (const PoRefusal& c : cases) {
    SCOPED_TRACE(c.label);
    const PoParsed parsed = parse_po(c.file);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.problem.error, c.error);
    EXPECT_EQ(parsed.problem.line, c.line);
  }
}

// The table a list gives, entry by entry.
struct TableShape {
  Pairs pairs;
  std::vector<uint64_t> slots;

  bool operator==(const TableShape&) const = default;
};

TableShape shape_of(const uitrans::ReplacementTable& table) {
  TableShape shape;
  for (const uitrans::ReplacementEntry& entry : table.entries) {
    shape.pairs.emplace_back(
        std::u16string(entry.find, entry.find_length),
        std::u16string(entry.replacement, entry.replacement_length));
  }
  for (const uitrans::LookupSlot& slot : table.slots) {
    shape.slots.push_back(slot.length ^ uint64_t{slot.entry} << 32);
  }
  for (const std::vector<uint64_t>* bits :
       {&table.filter, &table.suffix_filter}) {
    shape.slots.insert(shape.slots.end(), bits->begin(), bits->end());
  }
  return shape;
}

TEST(CatalogueTest, SamePairsGiveTheSameTableAsAList) {
  const Pairs pairs = {{u"&Open", u"&Laden"},
                       {u"ab", u"c"},
                       {u"E&xit", u"&Beenden"},
                       {u"&Open", u"&Zweites"},
                       {u"Save &as...", u"Speichern &unter..."},
                       {u"cd", u"ef"}};
  std::string po = kPoHeader;
  for (const auto& [find, replacement] : pairs) {
    std::string find8(find.begin(), find.end());  // ASCII
    std::string replacement8(replacement.begin(), replacement.end());
    po += "msgid \"" + find8 + "\"\nmsgstr \"" + replacement8 + "\"\n\n";
  }
  uitrans::ReplacementTable from_list;
  uitrans::ReplacementTable from_catalogue;
  uitrans::CatalogueProblem problem;
  const Bytes list = testsupport::make_pair_list(pairs);
  ASSERT_EQ(
      uitrans::parse_list_file(uitrans::ByteSpan{list.data(), list.size()},
                               false, &from_list, &problem),
      uitrans::ListLoadStatus::ok);
  const Bytes catalogue = utf8(po);
  ASSERT_EQ(uitrans::parse_list_file(
                uitrans::ByteSpan{catalogue.data(), catalogue.size()}, true,
                &from_catalogue, &problem),
            uitrans::ListLoadStatus::ok);
  EXPECT_EQ(shape_of(from_catalogue), shape_of(from_list));
  EXPECT_EQ(shape_of(from_catalogue).pairs,
            (Pairs{{u"Save &as...", u"Speichern &unter..."},
                   {u"&Open", u"&Laden"},
                   {u"E&xit", u"&Beenden"},
                   {u"&Open", u"&Zweites"},
                   {u"cd", u"ef"}}));
  std::vector<uint32_t> lines;
  for (const uitrans::ReplacementEntry& entry : from_catalogue.entries) {
    lines.push_back(entry.line);
  }
  EXPECT_EQ(lines, (std::vector<uint32_t>{19, 7, 13, 16, 22}));
}

TEST(CatalogueTest, TheMarkAndTheNameChooseTheReader) {
  using uitrans::ListLoadStatus;
  const Bytes catalogue = utf8("msgid \"ab\"\nmsgstr \"cd\"\n");
  const Bytes list = testsupport::make_pair_list({{u"ab", u"ef"}});
  const Bytes broken = utf8("msgid \"ab\n");
  struct Choice {
    const Bytes* file;
    bool catalogue_name;
    ListLoadStatus status;
    Pairs pairs;
  };
  const std::vector<Choice> choices = {
      {&catalogue, true, ListLoadStatus::ok, {{u"ab", u"cd"}}},
      {&catalogue, false, ListLoadStatus::not_unicode, {}},
      {&list, true, ListLoadStatus::ok, {{u"ab", u"ef"}}},
      {&list, false, ListLoadStatus::ok, {{u"ab", u"ef"}}},
      {&broken, true, ListLoadStatus::catalogue_refused, {}},
      {&broken, false, ListLoadStatus::not_unicode, {}},
  };
  for (const Choice& choice : choices) {
    uitrans::ReplacementTable table;
    uitrans::CatalogueProblem problem;
    EXPECT_EQ(uitrans::parse_list_file(
                  uitrans::ByteSpan{choice.file->data(), choice.file->size()},
                  choice.catalogue_name, &table, &problem),
              choice.status);
    EXPECT_EQ(shape_of(table).pairs, choice.pairs);
  }
  for (const auto& [name, is_catalogue] :
       std::vector<std::pair<uitrans::platform::NativeString, bool>>{
           {"app.po", true},
           {".po", true},
           {"dir.po/list", false},
           {"app.pot", false},
           {"app.PO", false},
           {"po", false}}) {
    EXPECT_EQ(uitrans::has_catalogue_name(name), is_catalogue) << name;
  }
}

// Templates.

const uitrans::PotHeader kPotHeader = {"app.exe", "2026-12-07 13:10+0000",
                                       "1.2.3"};

TEST(PotWriterTest, HeaderAndEntries) {
  uint32_t unwritable = 9;
  const std::string pot = uitrans::write_pot(
      kPotHeader,
      {{u"&Open", "menu item", {"app.exe:MENU/2/0409"}, false, {}, {}},
       {u"Line one\nline \"two\"\t\\",
        "control title (Static)",
        {"app.exe:DIALOG/100/0409", "app.exe:DIALOG/101/0407"},
        true,
        "DIALOG/100/0409/control #2",
        {}}},
      &unwritable);
  EXPECT_EQ(unwritable, 0u);
  EXPECT_EQ(pot,
            "#, fuzzy\n"
            "msgid \"\"\n"
            "msgstr \"\"\n"
            "\"Project-Id-Version: app.exe\\n\"\n"
            "\"Report-Msgid-Bugs-To: \\n\"\n"
            "\"POT-Creation-Date: 2026-12-07 13:10+0000\\n\"\n"
            "\"PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\\n\"\n"
            "\"Last-Translator: FULL NAME <EMAIL@ADDRESS>\\n\"\n"
            "\"Language-Team: LANGUAGE <LL@li.org>\\n\"\n"
            "\"Language: \\n\"\n"
            "\"MIME-Version: 1.0\\n\"\n"
            "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
            "\"Content-Transfer-Encoding: 8bit\\n\"\n"
            "\"X-Generator: uitrans 1.2.3\\n\"\n"
            "\n"
            "#. menu item\n"
            "#: app.exe:MENU/2/0409\n"
            "msgid \"&Open\"\n"
            "msgstr \"\"\n"
            "\n"
            "#. control title (Static)\n"
            "#: app.exe:DIALOG/100/0409 app.exe:DIALOG/101/0407\n"
            "msgctxt \"DIALOG/100/0409/control #2\"\n"
            "msgid \"\"\n"
            "\"Line one\\n\"\n"
            "\"line \\\"two\\\"\\t\\\\\"\n"
            "msgstr \"\"\n");
}

// Texts a template must carry through gettext's tools unchanged.
const std::vector<std::u16string> kHardTexts = {
    u"&Open",
    u"Ends with a break\n",
    u"Two\n\nbreaks, \"quotes\", a tab\t and a backslash \\",
    u"Controls \a\b\f\v\r, \x01 and \x7F",
    u"A long text that cannot stay on one line beside its keyword, because "
    u"it goes on and on, well past the seventy-nine columns of a line",
    u"Averyveryverylongwordwithoutanyspaceatallthatgoesonpasttheendoftheline"
    u"andbeyond",
    u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3001\u5E45\u304C"
    u"\u4E8C\u5217\u306E\u6587\u5B57 \u65E5\u672C\u8A9E\u306E\u30C6\u30AD"
    u"\u30B9\u30C8\u3001\u5E45\u304C\u4E8C\u5217\u306E\u6587\u5B57 \u65E5"
    u"\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8",
    u"Caf\u00E9 \U0001F600",
};

TEST(PotWriterTest, LoneSurrogatesAreCountedAndLeftOut) {
  uint32_t unwritable = 0;
  const std::string pot =
      uitrans::write_pot(kPotHeader,
                         {{u"ab\xD800", "", {}, false, {}, {}},
                          {u"\xDC00x", "", {}, false, {}, {}},
                          {u"ok", "", {}, false, {}, {}},
                          {u"\xD83D\xDE00", "", {}, false, {}, {}}},
                         &unwritable);
  EXPECT_EQ(unwritable, 2u);
  EXPECT_NE(pot.find("msgid \"ok\"\n"), std::string::npos);
  EXPECT_NE(pot.find("msgid \"\xF0\x9F\x98\x80\"\n"), std::string::npos);
  EXPECT_EQ(pot.find("ab"), std::string::npos);
}

TEST(PotWriterTest, LinesFitTheColumns) {
  std::vector<uitrans::PotEntry> entries;
  for (const std::u16string& text : kHardTexts)
    entries.push_back({text, "", {}, false, {}, {}});
  entries.push_back({u"refs",
                     "",
                     std::vector<std::string>(20, "app.exe:MENU/2/0409"),
                     false,
                     {},
                     {}});
  uint32_t unwritable = 0;
  const std::string pot = uitrans::write_pot(kPotHeader, entries, &unwritable);
  size_t start = 0;
  while (start < pot.size()) {
    size_t end = pot.find('\n', start);
    const std::string line = pot.substr(start, end - start);
    start = end + 1;
    if (line.find("Averyvery") != std::string::npos) continue;  // no space
    size_t columns = 0;
    for (char c : line) {
      auto byte = static_cast<uint8_t>(c);
      if ((byte & 0xC0) != 0x80) columns += byte >= 0xE3 ? 2 : 1;
    }
    EXPECT_LE(columns, 79u) << line;
  }
}

// gettext's own tools accept the template, and a catalogue they make from it
// reads back as the texts themselves.
TEST(PotWriterTest, GettextToolsTakeTheTemplate) {
  const std::string msgfmt = "/usr/bin/msgfmt";
  const std::string msgen = "/usr/bin/msgen";
  if (!testsupport::file_exists(msgfmt) || !testsupport::file_exists(msgen)) {
    GTEST_SKIP() << "gettext is not installed";
  }
  std::vector<uitrans::PotEntry> entries;
  for (const std::u16string& text : kHardTexts) {
    entries.push_back(
        {text, "menu item", {"my app.exe:MENU/2/0409"}, false, {}, {}});
  }
  uint32_t unwritable = 0;
  const std::string pot = uitrans::write_pot(kPotHeader, entries, &unwritable);
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::write_file(dir.file("app.pot"), utf8(pot)));
  testsupport::RunResult result =
      testsupport::run_program(msgfmt,
                               {"--check-format", "--check-header", "-o",
                                "/dev/null", dir.file("app.pot")},
                               {});
  // A template's header keeps the placeholders a translator fills in, which
  // msgfmt notes as warnings; anything else would be an error.
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err.find("error"), std::string::npos) << result.err;
  result = testsupport::run_program(
      msgen, {"-o", dir.file("app.po"), dir.file("app.pot")}, {});
  ASSERT_EQ(result.status, 0) << result.err;
  const Bytes po = testsupport::read_file(dir.file("app.po")).value_or(Bytes{});
  const PoParsed parsed = parse_po(std::string(po.begin(), po.end()));
  ASSERT_TRUE(parsed.ok) << parsed.problem.line;
  Pairs expected;
  for (const std::u16string& text : kHardTexts)
    expected.emplace_back(text, text);
  EXPECT_EQ(parsed.pairs, expected);
}

TEST(PotWriterTest, DateInTheHeaderForm) {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 0;
  time.tm_mday = 5;
  time.tm_hour = 7;
  time.tm_min = 3;
  EXPECT_EQ(uitrans::pot_date(time), "2026-01-05 07:03+0000");
}

}  // namespace
