// SPDX-License-Identifier: MIT
// The language table and the order of directory entries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/language_tags.h"
#include "resources/directory_writer.h"

namespace {

using uitrans::EntryName;

TEST(LanguageTags, TableIsSortedForBisection) {
  ASSERT_GE(uitrans::kLanguageTagCount, 200u);
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(c));
    return text;
  };
  for (size_t i = 1; i < uitrans::kLanguageTagCount; ++i) {
    EXPECT_LT(lower(uitrans::kLanguageTags[i - 1].tag),
              lower(uitrans::kLanguageTags[i].tag));
  }
}

TEST(LanguageTags, NamesMapAsWindowsMapsThem) {
  const struct {
    const char* name;
    uint16_t id;
  } kCases[] = {
      {"en-US", 0x0409},      {"en-GB", 0x0809},
      {"de-DE", 0x0407},      {"de", 0x0407},
      {"en", 0x0409},         {"fr", 0x040C},
      {"pt", 0x0416},         {"pt-PT", 0x0816},
      {"es", 0x0C0A},         {"zh-Hans", 0x0804},
      {"zh-hant", 0x0C04},    {"ZH-TW", 0x0404},
      {"sr", 0x241A},         {"ja-JP", 0x0411},
      {"neutral", 0},         {"quz", 0x046B},
      {"sr-Latn-CS", 0x081A}, {"0409", 0x0409},
      {"0x0C0A", 0x0C0A},     {"7", 0x0007},
      {"ff", 0x0867},  // a tag before a hexadecimal id
  };
  for (const auto& c : kCases) {
    uint16_t id = 0xFFFF;
    EXPECT_TRUE(uitrans::read_language(c.name, &id)) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
  for (const char* unknown :
       {"", "xx", "en-XX", "0x", "12345", "0x10000", "en_US", "-",
        "pt-AO"}) {  // a locale Windows gives no id of its own
    uint16_t id = 0;
    EXPECT_FALSE(uitrans::read_language(unknown, &id)) << unknown;
  }
}

TEST(LanguageTags, ListsKeepOrderAndDropRepeats) {
  std::vector<uint16_t> ids;
  std::string unknown;
  EXPECT_TRUE(uitrans::read_language_list("de,en-US,0407", &ids, &unknown));
  EXPECT_EQ(ids, (std::vector<uint16_t>{0x0407, 0x0409}));
  ids.clear();
  EXPECT_FALSE(uitrans::read_language_list("de,,en", &ids, &unknown));
  EXPECT_EQ(unknown, "");
  EXPECT_FALSE(uitrans::read_language_list("de,nope", &ids, &unknown));
  EXPECT_EQ(unknown, "nope");
}

EntryName named(const std::u16string& text) { return EntryName{true, 0, text}; }
EntryName id(uint32_t value) { return EntryName{false, value, {}}; }

TEST(DirectoryOrder, NamesFirstInUpperCaseThenIds) {
  EXPECT_TRUE(uitrans::entry_before(named(u"Z"), id(1)));
  EXPECT_FALSE(uitrans::entry_before(id(1), named(u"Z")));
  EXPECT_TRUE(uitrans::entry_before(named(u"alpha"), named(u"BETA")));
  EXPECT_TRUE(uitrans::entry_before(named(u"AB"), named(u"abc")));
  EXPECT_FALSE(uitrans::entry_before(named(u"abc"), named(u"ABC")));
  EXPECT_FALSE(uitrans::entry_before(named(u"ABC"), named(u"abc")));
  // '_' lies between the cases: upper case puts it after every letter.
  EXPECT_TRUE(uitrans::entry_before(named(u"z"), named(u"_")));
  EXPECT_TRUE(uitrans::entry_before(id(4), id(0x10)));
}

TEST(DirectoryPlan, LaysOutTablesEntriesAndStrings) {
  uitrans::DirectoryTree tree;
  uitrans::TypeNode type{named(u"DATA"), {}, {}};
  type.names.push_back({id(2), {}, {{id(0x409), 1, 1252, 0}}});
  type.names.push_back({id(1), {}, {{id(0x409), 0, 0, 0}}});
  tree.types.push_back(type);
  tree.item_count = 2;
  uitrans::DirectoryPlan plan;
  ASSERT_TRUE(uitrans::plan_directory(tree, &plan));
  // Tables: root (1 entry), type (2), two name tables (1 each).
  ASSERT_EQ(plan.directories.size(), 4u);
  EXPECT_EQ(plan.directories[1].offset, 24u);
  EXPECT_EQ(plan.data_entries_offset, 24u + 32 + 24 + 24);
  EXPECT_EQ(plan.strings_offset, plan.data_entries_offset + 32);
  EXPECT_EQ(plan.size, (plan.strings_offset + 4 + 8 + 15) / 16 * 16);
  // Names 1 then 2: the leaf of item 0 first.
  EXPECT_EQ(plan.leaves[0]->item, 0u);
  EXPECT_EQ(plan.leaves[1]->item, 1u);
  std::vector<uint8_t> out(plan.size, 0);
  uitrans::write_directory(plan, {{0, 10}, {16, 20}}, 0x2000, out.data());
  uint32_t rva = 0;
  std::memcpy(&rva, out.data() + plan.data_entries_offset + 16, 4);
  EXPECT_EQ(rva, 0x2010u);
}

}  // namespace
