// SPDX-License-Identifier: MIT
// Message tables are built here from the layout of MESSAGE_RESOURCE_DATA
// alone and read back by a reader of the test's own; code pages are checked
// against the converter of the system.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_codec.h"
#include "resources/code_pages.h"
#include "resources/message_table.h"
#include "support/pe_builder.h"
#include "support/resource_blocks.h"

namespace {

using testsupport::append16;
using testsupport::append32;
using testsupport::append_text;
using testsupport::Bytes;
using testsupport::get16;
using testsupport::get32;
using testsupport::pad_to;
using testsupport::put16;
using testsupport::put32;

constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kRussian = 0x0419;
constexpr uint16_t kJapanese = 0x0411;

using testsupport::ansi_entry;
using testsupport::Block;
using testsupport::message_table;
using testsupport::unicode_entry;

uitrans::ByteSpan span(const Bytes& bytes) {
  return uitrans::ByteSpan{bytes.data(), bytes.size()};
}

// ---- The test's own reader ----

struct Read {
  uint32_t id = 0;
  uint16_t flags = 0;
  Bytes entry;  // the whole entry
};

// Reads every entry through the block array, checking that each Length is
// a multiple of 4 and covers its text and terminator.
std::vector<Read> read_entries(const Bytes& table) {
  std::vector<Read> entries;
  uint32_t count = get32(table, 0);
  for (uint32_t b = 0; b < count; ++b) {
    uint32_t low = get32(table, 4 + 12 * b);
    uint32_t high = get32(table, 8 + 12 * b);
    size_t offset = get32(table, 12 + 12 * b);
    EXPECT_EQ(offset % 4, 0u);
    for (uint32_t id = low; id <= high; ++id) {
      EXPECT_LE(offset + 4, table.size());
      if (offset + 4 > table.size()) return entries;
      Read read;
      read.id = id;
      uint16_t length = get16(table, offset);
      read.flags = get16(table, offset + 2);
      EXPECT_EQ(length % 4, 0u);
      EXPECT_LE(offset + length, table.size());
      if (length < 4 || offset + length > table.size()) return entries;
      read.entry.assign(
          table.begin() + static_cast<ptrdiff_t>(offset),
          table.begin() + static_cast<ptrdiff_t>(offset + length));
      entries.push_back(std::move(read));
      offset += length;
    }
  }
  return entries;
}

uitrans::MessageTable listed(const Bytes& item, uint16_t language) {
  uitrans::MessageTable table;
  EXPECT_TRUE(uitrans::read_message_table(span(item), language, &table));
  return table;
}

Bytes rewrite(const Bytes& item,
              const std::vector<const std::u16string*>& texts) {
  Bytes out;
  uitrans::MessageFault fault = uitrans::MessageFault::bad_texts;
  EXPECT_TRUE(uitrans::write_message_table(span(item), texts, &out, &fault));
  EXPECT_EQ(fault, uitrans::MessageFault::none);
  return out;
}

// ---- Listing ----

TEST(MessageTableTest, ListsUnicodeEntriesAndTheirLineBreaks) {
  const Bytes item = message_table(
      {{1,
        {unicode_entry(u"Saved.\r\n"), unicode_entry(u"Open %1\n"),
         unicode_entry(u"No break")}},
       {0x40000010, {unicode_entry(u"\r\n"), unicode_entry(u"")}}});
  const uitrans::MessageTable table = listed(item, kEnglish);
  struct Expected {
    uint32_t id;
    std::u16string text;
    uitrans::LineBreak line_break;
  };
  const Expected expected[] = {
      {1, u"Saved.", uitrans::LineBreak::crlf},
      {2, u"Open %1", uitrans::LineBreak::lf},
      {3, u"No break", uitrans::LineBreak::none},
      {0x40000010, u"", uitrans::LineBreak::crlf},
      {0x40000011, u"", uitrans::LineBreak::none},
  };
  ASSERT_EQ(table.entries.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const uitrans::MessageEntry& entry = table.entries[i];
    EXPECT_EQ(entry.id, expected[i].id);
    EXPECT_TRUE(entry.unicode);
    EXPECT_TRUE(entry.decoded);
    EXPECT_EQ(entry.text, expected[i].text);
    EXPECT_EQ(entry.line_break, expected[i].line_break);
  }
  EXPECT_TRUE(table.regular);
  EXPECT_EQ(table.data_end, item.size());
}

TEST(MessageTableTest, AnsiEntriesAreDecodedInTheirLanguagesCodePage) {
  struct Case {
    const char* name;
    uint16_t language;
    std::string bytes;
    std::u16string text;
    uitrans::LineBreak line_break;
  };
  const Case cases[] = {
      {"cp1252", kEnglish, "Caf\xE9\r\n", u"Caf\u00E9",
       uitrans::LineBreak::crlf},
      {"cp1251", kRussian, "\xCF\xF0\xE8\xE2\xE5\xF2\n",
       u"\u041F\u0440\u0438\u0432\u0435\u0442", uitrans::LineBreak::lf},
      {"cp932", kJapanese, "\x82\xA0", u"\u3042", uitrans::LineBreak::none},
      {"neutral", 0x0000, "\x80", u"\u20AC", uitrans::LineBreak::none},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const Bytes item = message_table({{7, {ansi_entry(test.bytes)}}});
    const uitrans::MessageTable table = listed(item, test.language);
    ASSERT_EQ(table.entries.size(), 1u);
    const uitrans::MessageEntry& entry = table.entries[0];
    EXPECT_FALSE(entry.unicode);
    EXPECT_TRUE(entry.decoded);
    EXPECT_EQ(entry.text, test.text);
    EXPECT_EQ(entry.line_break, test.line_break);
    EXPECT_EQ(entry.raw, Bytes(test.bytes.begin(), test.bytes.end()));
  }
}

TEST(MessageTableTest, AnsiBytesThatDoNotDecodeAreFlagged) {
  const std::string bytes = "ok \x82\xFF\n";  // no trail byte 0xFF in cp932
  const Bytes item = message_table({{1, {ansi_entry(bytes)}}});
  const uitrans::MessageTable table = listed(item, kJapanese);
  ASSERT_EQ(table.entries.size(), 1u);
  EXPECT_FALSE(table.entries[0].decoded);
  EXPECT_TRUE(table.entries[0].text.empty());
  EXPECT_EQ(table.entries[0].raw, Bytes(bytes.begin(), bytes.end()));
  EXPECT_EQ(table.entries[0].line_break, uitrans::LineBreak::lf);
}

// ---- Rewriting ----

TEST(MessageTableTest, ChangedEntriesGiveTheTableACompilerWouldWrite) {
  for (const testsupport::ChangedText& test : testsupport::kChangedTexts) {
    SCOPED_TRACE(test.name);
    const Bytes item = message_table(
        {{1, {unicode_entry(u"Sample editor\r\n"), unicode_entry(u"Open\n")}},
         {9, {unicode_entry(u"Gone"), unicode_entry(u"Last\r\n")}}});
    const Bytes out = rewrite(item, {&test.text, nullptr, nullptr, &test.text});
    const Bytes expected = message_table(
        {{1, {unicode_entry(test.text + u"\r\n"), unicode_entry(u"Open\n")}},
         {9, {unicode_entry(u"Gone"), unicode_entry(test.text + u"\r\n")}}});
    EXPECT_EQ(out, expected);
    const std::vector<Read> entries = read_entries(out);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].id, 10u);
  }
}

TEST(MessageTableTest, NothingReplacedGivesTheItemBack) {
  Bytes item = message_table(
      {{1, {unicode_entry(u"Padded more\r\n", 8), ansi_entry("Caf\xE9")}},
       {5, {unicode_entry(u"x")}}});
  item.insert(item.end(), {0xAB, 0xCD});  // bytes after the entries
  EXPECT_EQ(rewrite(item, {}), item);
  EXPECT_EQ(rewrite(item, {nullptr, nullptr, nullptr}), item);
}

TEST(MessageTableTest, KeptEntriesAreCopiedWithTheirPadding) {
  Bytes item = message_table(
      {{1,
        {unicode_entry(u"Padded more\r\n", 8), ansi_entry("Caf\xE9\n"),
         unicode_entry(u"Change me\n")}}});
  item.insert(item.end(), {0xAB, 0xCD});
  const std::u16string text = u"Changed";
  const Bytes out = rewrite(item, {nullptr, nullptr, &text});
  const std::vector<Read> before = read_entries(item);
  const std::vector<Read> after = read_entries(out);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0].entry, before[0].entry);
  EXPECT_EQ(after[1].entry, before[1].entry);
  EXPECT_EQ(after[2].entry, unicode_entry(u"Changed\n"));
  EXPECT_EQ(Bytes(out.end() - 2, out.end()), Bytes({0xAB, 0xCD}));
}

TEST(MessageTableTest, TranslatedAnsiEntryBecomesUnicode) {
  const Bytes item =
      message_table({{3, {ansi_entry("Caf\xE9\r\n"), ansi_entry("Keep")}}});
  const std::u16string text = u"\u03A9mega \u4E2D";  // not in cp1252
  const Bytes out = rewrite(item, {&text});
  const std::vector<Read> entries = read_entries(out);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].flags, 1);
  EXPECT_EQ(entries[0].entry, unicode_entry(text + u"\r\n"));
  EXPECT_EQ(entries[1].entry, ansi_entry("Keep"));
  const uitrans::MessageTable table = listed(out, kEnglish);
  ASSERT_EQ(table.entries.size(), 2u);
  EXPECT_TRUE(table.entries[0].unicode);
  EXPECT_EQ(table.entries[0].text, text);
  EXPECT_EQ(table.entries[0].line_break, uitrans::LineBreak::crlf);
}

// Blocks whose entries lie in another order, with a gap before them, come
// out in the compiler's layout; every id keeps its text.
TEST(MessageTableTest, UnusualLayoutIsLaidOutAgain) {
  const Bytes first = unicode_entry(u"one\n");
  const Bytes second = unicode_entry(u"two\n");
  Bytes item;
  append32(item, 2);
  append32(item, 1);  // block 0: id 1, its entry placed last
  append32(item, 1);
  append32(item, 0);
  append32(item, 20);  // block 1: id 20, its entry placed first
  append32(item, 20);
  append32(item, 0);
  append32(item, 0xDEADBEEF);  // a gap no block points to
  put32(item, 24, static_cast<uint32_t>(item.size()));
  item.insert(item.end(), second.begin(), second.end());
  put32(item, 12, static_cast<uint32_t>(item.size()));
  item.insert(item.end(), first.begin(), first.end());
  const uitrans::MessageTable table = listed(item, kEnglish);
  EXPECT_FALSE(table.regular);
  ASSERT_EQ(table.entries.size(), 2u);
  EXPECT_EQ(table.entries[0].text, u"one");
  EXPECT_EQ(rewrite(item, {}), item);
  const std::u16string text = u"eins";
  const Bytes out = rewrite(item, {&text});
  EXPECT_EQ(out,
            message_table({{1, {unicode_entry(u"eins\n")}}, {20, {second}}}));
}

TEST(MessageTableTest, EntryOutgrowingItsLengthIsRefused) {
  const Bytes item = message_table({{1, {unicode_entry(u"x")}}});
  // 4 bytes of header and 2 * 32765 of units, 65534, pad to 65536.
  const std::u16string text(32764, u'x');
  Bytes out;
  uitrans::MessageFault fault = uitrans::MessageFault::none;
  EXPECT_FALSE(uitrans::write_message_table(span(item), {&text}, &out, &fault));
  EXPECT_EQ(fault, uitrans::MessageFault::too_long);
  const std::u16string fits(32763, u'x');
  EXPECT_TRUE(uitrans::write_message_table(span(item), {&fits}, &out, &fault));
  EXPECT_EQ(get16(out, 16), 0xFFFC);
}

// ---- Malformed tables ----

TEST(MessageTableTest, MalformedTablesAreRefused) {
  using uitrans::MessageFault;
  const Bytes good =
      message_table({{1, {unicode_entry(u"one\n"), unicode_entry(u"two\n")}}});
  // The first entry at 16, the second after it.
  const size_t second = 16 + get16(good, 16);
  auto with32 = [&](size_t offset, uint32_t value) {
    Bytes bytes = good;
    put32(bytes, offset, value);
    return bytes;
  };
  auto with16 = [&](size_t offset, uint16_t value) {
    Bytes bytes = good;
    put16(bytes, offset, value);
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes item;
    MessageFault fault;
  };
  const Case cases[] = {
      {"empty item", {}, MessageFault::truncated},
      {"block count huge", with32(0, 0xFFFFFFFF), MessageFault::truncated},
      {"block array cut", Bytes(good.begin(), good.begin() + 10),
       MessageFault::truncated},
      {"low id above high id", with32(4, 5), MessageFault::bad_block},
      {"offset outside", with32(12, 0x10000), MessageFault::entries_outside},
      {"offset at the end", with32(12, static_cast<uint32_t>(good.size())),
       MessageFault::bad_entry_length},
      {"length zero", with16(16, 0), MessageFault::bad_entry_length},
      {"length below a header", with16(16, 2), MessageFault::bad_entry_length},
      {"last entry past the end",
       with16(second, static_cast<uint16_t>(good.size() - second + 1)),
       MessageFault::bad_entry_length},
      {"ids past the entries", with32(8, 3), MessageFault::bad_entry_length},
      {"id range huge", with32(8, 0xFFFFFFFF), MessageFault::too_many_entries},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    uitrans::MessageTable table;
    EXPECT_FALSE(
        uitrans::read_message_table(span(test.item), kEnglish, &table));
    EXPECT_EQ(table.fault, test.fault);
    Bytes out;
    MessageFault fault = MessageFault::none;
    const std::u16string text = u"x";
    EXPECT_FALSE(
        uitrans::write_message_table(span(test.item), {&text}, &out, &fault));
    EXPECT_EQ(fault, test.fault);
  }
}

// The last entry ending exactly at the item's end reads; one byte more does
// not.
TEST(MessageTableTest, EntryEndingAtTheItemEnd) {
  const Bytes good = message_table({{1, {unicode_entry(u"one\n")}}});
  uitrans::MessageTable table;
  EXPECT_TRUE(uitrans::read_message_table(span(good), kEnglish, &table));
  const Bytes cut(good.begin(), good.end() - 1);
  EXPECT_FALSE(uitrans::read_message_table(span(cut), kEnglish, &table));
  EXPECT_EQ(table.fault, uitrans::MessageFault::bad_entry_length);
}

// Blocks that all point at the same few entries would name far more
// entries than the item holds.
TEST(MessageTableTest, BlocksRepeatingOneAnotherAreRefused) {
  const uint32_t blocks = 1000;
  Bytes item;
  append32(item, blocks);
  const uint32_t entries = 4 + 12 * blocks;
  for (uint32_t i = 0; i < blocks; ++i) {
    append32(item, 0);
    append32(item, 1000);
    append32(item, entries);
  }
  for (int i = 0; i < 1001; ++i) append32(item, 0x00010004);
  uitrans::MessageTable table;
  EXPECT_FALSE(uitrans::read_message_table(span(item), kEnglish, &table));
  EXPECT_EQ(table.fault, uitrans::MessageFault::too_many_entries);
}

TEST(MessageTableTest, DamagedTablesNeverCrash) {
  const Bytes good =
      message_table({{1, {unicode_entry(u"one\r\n"), ansi_entry("two\n")}},
                     {8, {unicode_entry(u"three")}}});
  const std::u16string text = u"replacement";
  for (size_t size = 0; size < good.size(); ++size) {
    const Bytes item(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
    uitrans::MessageTable table;
    EXPECT_FALSE(uitrans::read_message_table(span(item), kEnglish, &table));
  }
  for (size_t at = 0; at < good.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
      Bytes item = good;
      item[at] = value;
      uitrans::MessageTable table;
      uitrans::read_message_table(span(item), kJapanese, &table);
      Bytes out;
      uitrans::MessageFault fault;
      uitrans::write_message_table(span(item), {&text, nullptr, &text}, &out,
                                   &fault);
    }
  }
}

// ---- Code pages ----

TEST(CodePageTest, LanguagesGiveTheirAnsiCodePages) {
  const std::pair<uint16_t, uint32_t> cases[] = {
      {0x0409, 1252}, {0x0407, 1252}, {0x040C, 1252}, {0x0000, 1252},
      {0x0439, 1252},  // Hindi: Unicode only
      {0x0405, 1250}, {0x0415, 1250}, {0x040E, 1250}, {0x041B, 1250},
      {0x0424, 1250}, {0x041A, 1250}, {0x0418, 1250}, {0x081A, 1250},
      {0x0419, 1251}, {0x0422, 1251}, {0x0402, 1251}, {0x0423, 1251},
      {0x0C1A, 1251}, {0x201A, 1251}, {0x082C, 1251}, {0x042C, 1254},
      {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256},
      {0x0429, 1256}, {0x0425, 1257}, {0x0426, 1257}, {0x0427, 1257},
      {0x042A, 1258}, {0x041E, 874},  {0x0411, 932},  {0x0804, 936},
      {0x1004, 936},  {0x0004, 936},  {0x0404, 950},  {0x0C04, 950},
      {0x1404, 950},  {0x7C04, 950},  {0x0412, 949},
  };
  for (const auto& [language, code_page] : cases) {
    SCOPED_TRACE(language);
    EXPECT_EQ(uitrans::ansi_code_page(language), code_page);
  }
}

TEST(CodePageTest, DecodingRefusesWhatIsNoText) {
  std::u16string text = u"stale";
  const uint8_t valid[] = {0x82, 0xA0, 'a'};
  EXPECT_TRUE(uitrans::platform::decode_code_page(932, valid, 3, &text));
  EXPECT_EQ(text, u"\u3042a");
  const uint8_t incomplete[] = {'a', 0x82};  // a lead byte alone
  EXPECT_FALSE(uitrans::platform::decode_code_page(932, incomplete, 2, &text));
  EXPECT_FALSE(uitrans::platform::decode_code_page(12345, valid, 3, &text));
  EXPECT_TRUE(uitrans::platform::decode_code_page(1252, valid, 0, &text));
  EXPECT_TRUE(text.empty());
  const uint8_t utf8[] = {0xC3, 0xA9};
  EXPECT_TRUE(uitrans::platform::decode_code_page(
      uitrans::platform::kUtf8CodePage, utf8, 2, &text));
  EXPECT_EQ(text, u"\u00E9");
}

}  // namespace
