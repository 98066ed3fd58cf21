// SPDX-License-Identifier: MIT
// Successful rewrites: the repacked data area, menu texts replaced, the
// in-place and the grown layout.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace testsupport;

class RewriteTest : public E2eTest {
 protected:
  RunResult run_on(const Bytes& list, const Bytes& image) {
    write("list.txt", list);
    write("app.exe", image);
    return run({"list.txt", "app.exe"});
  }
};

Bytes menuex_sample(const std::u16string& open_text,
                    const std::u16string& cut_text) {
  return make_menuex({
      MenuItem{
          u"&File",
          0,
          {MenuItem{open_text, 100, {}, 0}, MenuItem{u"E&xit", 101, {}, 0}},
          0},
      MenuItem{u"&Edit", 0, {MenuItem{cut_text, 200, {}, 0}}, 0},
  });
}

Bytes odd_icon() { return {0x01, 0x02, 0x03, 0x04, 0x05}; }

// Named and ID types, named and ID entries, a named type holding a menu
// layout (not a menu resource), and an odd-sized item.
ResourceTreeSpec mixed_tree(uint32_t data_step) {
  ResourceTreeSpec tree;
  tree.data_step = data_step;
  tree.reverse_data_entries = true;
  tree.types.push_back({rid(3), {{rid(1), {{0x409, odd_icon(), 0}}}}});
  tree.types.push_back(
      {rid(4),
       {{rid(2), {{0x407, menuex_sample(u"&Open", u"Cu&t"), 1252}}},
        {rname(u"MAIN"),
         {{0x409, sample_menu(u"&Open", u"&About"), 1252},
          {0x40C, sample_menu(u"&Ouvrir", u"&About"), 1252}}}}});
  tree.types.push_back(
      {rname(u"MENU"),
       {{rid(1), {{0x409, sample_menu(u"&Open", u"&About")}}}}});
  tree.types.push_back(one_menu_tree({}).types[1]);  // a string table
  return tree;
}

// Walk order of mixed_tree: named type first, then IDs in the given order.
enum MixedItem {
  kNamedTypeMenu,
  kIcon,
  kMainEnglish,
  kMainFrench,
  kMenuEx,
  kStrings
};

const Bytes kMixedList = make_pair_list({
    {u"&Open", u"&Load"},
    {u"&About", u"&Info"},
    {u"Cu&t", u"Cu&t!"},
});

struct LayoutCase {
  bool pe32_plus;
  uint32_t data_step;
};

class InPlaceTest : public RewriteTest,
                    public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(InPlaceTest, ItemsArePackedBehindThePrefixInWalkOrder) {
  ResourceImageOptions options;
  options.pe32_plus = GetParam().pe32_plus;
  options.tail = {'T', 'A', 'I', 'L'};
  const ResourceImage input =
      make_resource_image(mixed_tree(GetParam().data_step), options);
  const Repack repack =
      repack_of(input, {{kMainEnglish, sample_menu(u"&Load", u"&Info")},
                        {kMainFrench, sample_menu(u"&Ouvrir", u"&Info")},
                        {kMenuEx, menuex_sample(u"&Load", u"Cu&t!")}});
  const ExpectedImage expected = expected_output(input, repack);
  ASSERT_FALSE(expected.grown);

  const RunResult result = run_on(kMixedList, input.image.bytes);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "5 strings replaced in app.exe.\n");
  const Bytes output = read("app.exe");
  EXPECT_EQ(output.size(), input.image.bytes.size());
  EXPECT_BYTES(output, expected.bytes);
  EXPECT_BYTES(read("app.exe.old"), input.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);

  // The same seen through the directory tree.
  const auto view = read_resources(output);
  ASSERT_TRUE(view.has_value());
  ASSERT_EQ(view->entries.size(), repack.items.size());
  uint32_t place = kRsrcRva + repack.prefix_size;
  for (size_t k = 0; k < view->entries.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(view->entries[k].rva, place);
    EXPECT_EQ(view->entries[k].rva % 16, 0u);
    EXPECT_EQ(view->items.at(view->entries[k].key), repack.items[k]);
    place += round_up(view->entries[k].size, 16);
  }
  // Zeros from the end of the data area to the end of the section.
  const uint32_t area_end = input.rsrc_raw + (place - kRsrcRva);
  const uint32_t section_end = input.rsrc_raw + input.image.raw_sizes[1];
  EXPECT_TRUE(std::all_of(output.begin() + area_end,
                          output.begin() + section_end,
                          [](uint8_t b) { return b == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, InPlaceTest,
    ::testing::Values(LayoutCase{false, 4}, LayoutCase{false, 8},
                      LayoutCase{false, 16}, LayoutCase{true, 4},
                      LayoutCase{true, 8}, LayoutCase{true, 16}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) {
      return std::string(info.param.pe32_plus ? "Pe32Plus" : "Pe32") + "Step" +
             std::to_string(info.param.data_step);
    });

TEST_F(RewriteTest, UnchangedSizesStillMoveEveryItem) {
  // Items stored 4 bytes apart come out 16 bytes apart.
  ResourceTreeSpec tree = mixed_tree(4);
  const ResourceImage input = make_resource_image(tree);
  const Bytes list = make_pair_list({{u"&Open", u"&Load"}});
  const Repack repack =
      repack_of(input, {{kMainEnglish, sample_menu(u"&Load", u"&About")},
                        {kMenuEx, menuex_sample(u"&Load", u"Cu&t")}});
  const RunResult result = run_on(list, input.image.bytes);
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), expected_output(input, repack).bytes);
}

class GrownTest : public RewriteTest,
                  public ::testing::WithParamInterface<bool> {};

TEST_P(GrownTest, SectionGrowsAndLaterSectionsMove) {
  ResourceImageOptions options;
  options.pe32_plus = GetParam();
  options.tail = {'O', 'V', 'E', 'R', 'L', 'A', 'Y', 0, 1, 2};
  const ResourceImage input = make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")), options);
  const std::u16string long_text(700, u'W');
  const Repack repack =
      repack_of(input, {{kMenuItem, sample_menu(long_text, u"&About")}});
  const ExpectedImage expected = expected_output(input, repack);
  ASSERT_TRUE(expected.grown);

  const RunResult result =
      run_on(make_pair_list({{u"&Open", long_text}}), input.image.bytes);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\n"
            " Warning: app.exe string tables resized -\n"
            "\tstill experimental, could cause corruption.\n");
  const Bytes output = read("app.exe");
  EXPECT_BYTES(output, expected.bytes);
  EXPECT_BYTES(read("app.exe.old"), input.image.bytes);

  // The same facts, field by field.
  EXPECT_EQ(output.size(), input.image.bytes.size() + expected.delta);
  EXPECT_EQ(expected.delta % 0x200, 0u);
  const auto before = read_headers(input.image.bytes);
  const auto after = read_headers(output);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(after->sections[1].size_of_raw_data, expected.new_raw_size);
  EXPECT_EQ(after->sections[1].virtual_size, expected.new_raw_size);
  EXPECT_EQ(after->resource_directory_size, expected.new_raw_size);
  EXPECT_EQ(after->resource_directory_rva, kRsrcRva);
  EXPECT_EQ(after->size_of_image, before->size_of_image);
  EXPECT_EQ(after->sections[0].pointer_to_raw_data,
            before->sections[0].pointer_to_raw_data);
  EXPECT_EQ(after->sections[1].pointer_to_raw_data,
            before->sections[1].pointer_to_raw_data);
  EXPECT_EQ(after->sections[2].pointer_to_raw_data,
            before->sections[2].pointer_to_raw_data + expected.delta);
  EXPECT_EQ(after->sections[2].virtual_address,
            before->sections[2].virtual_address);
  const uint32_t reloc = after->sections[2].pointer_to_raw_data;
  EXPECT_TRUE(std::equal(
      output.begin() + reloc, output.end(),
      input.image.bytes.begin() + before->sections[2].pointer_to_raw_data));
  const auto view = read_resources(output);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->items.at({rid(4), rid(1), rid(0x409)}),
            sample_menu(long_text, u"&About"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, GrownTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Pe32Plus" : "Pe32";
                         });

TEST_F(RewriteTest, GrownKeepsALargeVirtualSize) {
  ResourceImageOptions options;
  options.rsrc_virtual_size = 0x5000;
  const ResourceImage input = make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")), options);
  const std::u16string long_text(400, u'L');
  const ExpectedImage expected = expected_output(
      input,
      repack_of(input, {{kMenuItem, sample_menu(long_text, u"&About")}}));
  ASSERT_TRUE(expected.grown);
  ASSERT_LT(expected.new_raw_size, 0x5000u);
  run_on(make_pair_list({{u"&Open", long_text}}), input.image.bytes);
  const Bytes output = read("app.exe");
  EXPECT_BYTES(output, expected.bytes);
  const auto after = read_headers(output);
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->sections[1].virtual_size, 0x5000u);
  EXPECT_EQ(after->resource_directory_size, 0x5000u);
}

TEST_F(RewriteTest, GrownLastSectionWithOverlay) {
  ResourceImageOptions options;
  options.with_reloc = false;
  options.tail = Bytes(0x333, 0xEE);
  const ResourceImage input = make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")), options);
  const std::u16string long_text(300, u'x');
  const ExpectedImage expected = expected_output(
      input, repack_of(input, {{kMenuItem, sample_menu(u"&Open", long_text)}}));
  ASSERT_TRUE(expected.grown);
  const RunResult result =
      run_on(make_pair_list({{u"&About", long_text}}), input.image.bytes);
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\n"
            " Warning: app.exe string tables resized -\n"
            "\tstill experimental, could cause corruption.\n");
  const Bytes output = read("app.exe");
  EXPECT_BYTES(output, expected.bytes);
  ASSERT_GE(output.size(), 0x333u);
  EXPECT_TRUE(std::all_of(output.end() - 0x333, output.end(),
                          [](uint8_t b) { return b == 0xEE; }));
}

// Extended menus keep every item on a 4-byte boundary whatever the
// difference in length.
struct ExtendedCase {
  const char* label;
  std::u16string open_text;
  std::u16string cut_text;
};

TEST_F(RewriteTest, ExtendedMenusStayAligned) {
  const std::vector<ExtendedCase> cases = {
      {"same length", u"&Load", u"Cu&t"},
      {"one longer, padding dropped", u"&Laden", u"Cu&t"},
      {"one shorter, padding added", u"&Lad", u"Cu&t"},
      {"three longer, padding added", u"&Open", u"Cu&t 123"},
      {"two longer", u"&Open!!", u"Cu&t"},
      {"both changed", u"&Offnen", u"Ausschneiden&"},
      {"much shorter", u"&O", u"Cu"},
  };
  const Bytes source = menuex_sample(u"&Open", u"Cu&t");
  for (const ExtendedCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    ResourceTreeSpec tree;
    tree.types.push_back({rid(4), {{rid(7), {{0x409, source, 1252}}}}});
    const ResourceImage input = make_resource_image(tree);
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    int count = 0;
    if (c.open_text != u"&Open") {
      pairs.push_back({u"&Open", c.open_text});
      ++count;
    }
    if (c.cut_text != u"Cu&t") {
      pairs.push_back({u"Cu&t", c.cut_text});
      ++count;
    }
    const Bytes rewritten = menuex_sample(c.open_text, c.cut_text);
    const RunResult result = run_on(make_pair_list(pairs), input.image.bytes);
    EXPECT_EQ(result.out,
              std::to_string(count) + " strings replaced in app.exe.\n");
    const Bytes output = read("app.exe");
    EXPECT_BYTES(
        output,
        expected_output(input, repack_of(input, {{0, rewritten}})).bytes);
  }
}

TEST_F(RewriteTest, ExtendedMenuEndingRightAfterAText) {
  // Without its final padding unit the item ends at an odd unit. The unit
  // behind it (zero in the file) is not the item's and counts as not zero,
  // so a zero unit is written instead of skipping it.
  Bytes source = menuex_sample(u"&Open", u"Cu&t.");
  ASSERT_EQ(source[source.size() - 6], '.');
  ASSERT_EQ(get32(source, source.size() - 4), 0u);  // terminator, padding
  source.resize(source.size() - 2);
  ResourceTreeSpec tree;
  tree.types.push_back({rid(4), {{rid(7), {{0x409, source, 1252}}}}});
  const ResourceImage input = make_resource_image(tree);
  const RunResult result =
      run_on(make_pair_list({{u"Cu&t.", u"Cut!"}}), input.image.bytes);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  const Bytes rewritten =
      concat({menuex_sample(u"&Open", u"Cut!"), units({0})});
  EXPECT_BYTES(
      read("app.exe"),
      expected_output(input, repack_of(input, {{0, rewritten}})).bytes);
}

TEST_F(RewriteTest, ClassicMenuTakesNoAlignmentCare) {
  const ResourceImage input =
      make_resource_image(one_menu_tree(sample_menu(u"&Open", u"&About")));
  const RunResult result =
      run_on(make_pair_list({{u"&Open", u"&Laden"}}), input.image.bytes);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  EXPECT_EQ(
      read("app.exe"),
      expected_output(
          input,
          repack_of(input, {{kMenuItem, sample_menu(u"&Laden", u"&About")}}))
          .bytes);
}

struct MenuCase {
  const char* label;
  Bytes item;
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  int count;
  Bytes rewritten;
};

TEST_F(RewriteTest, MenuTextsTable) {
  const Bytes zero_item = units({0, 0, 'A', 'B'});
  const std::vector<MenuCase> cases = {
      {"a tail of an item text",
       sample_menu(u"&Open", u"&About"),
       {{u"xit", u"XIT!"}},
       1,
       make_menu(
           {MenuItem{u"&File",
                     0,
                     {MenuItem{u"&Open", 100, {}, 0},
                      MenuItem{u"E&XIT!", 101, {}, 0}},
                     0},
            MenuItem{u"&Help", 0, {MenuItem{u"&About", 200, {}, 0}}, 0}})},
      {"inside a text but not at its end",
       sample_menu(u"&Open", u"&About"),
       {{u"&Op", u"&Zu"}, {u"Fil", u"Dat"}},
       0,
       {}},
      {"longer than the text",
       sample_menu(u"&Open", u"&About"),
       {{u"&Open file", u"&Laden"}},
       0,
       {}},
      {"first of two equal find texts wins",
       sample_menu(u"&Open", u"&About"),
       {{u"&Open", u"&One"}, {u"&Open", u"&Two"}},
       1,
       sample_menu(u"&One", u"&About")},
      {"every item text",
       sample_menu(u"&Open", u"&About"),
       {{u"&File", u"&Datei"},
        {u"&Open", u"&Laden"},
        {u"E&xit", u"&Beenden"},
        {u"&Help", u"&Hilfe"},
        {u"&About", u"&Info"}},
       5,
       make_menu(
           {MenuItem{u"&Datei",
                     0,
                     {MenuItem{u"&Laden", 100, {}, 0},
                      MenuItem{u"&Beenden", 101, {}, 0}},
                     0},
            MenuItem{u"&Hilfe", 0, {MenuItem{u"&Info", 200, {}, 0}}, 0}})},
      {"adjacent texts",
       units({'a', 'b', 0, 'c', 'd', 0}),
       {{u"ab", u"xyz"}, {u"cd", u"uv"}},
       2,
       units({'x', 'y', 'z', 0, 'u', 'v', 0})},
      {"text running past the item's end",
       zero_item,
       {{u"AB", u"XYZ"}},
       1,
       units({0, 0, 'X', 'Y', 'Z', 0})},
      {"odd size takes the next byte",
       concat({units({'a', 'b', 0}), {'Q'}}),
       {{u"ab", u"abc"}},
       1,
       units({'a', 'b', 'c', 0, 'Q'})},
      {"whole text grows",
       units({'Q', 'A', 'B', 0}),
       {{u"AB", u"XYZ"}},
       1,
       units({'Q', 'X', 'Y', 'Z', 0})},
      {"tail of a longer text",
       units({'a', 'b', 'c', 'd', 'e', 0}),
       {{u"bcde", u"WXYZ"}},
       1,
       units({'a', 'W', 'X', 'Y', 'Z', 0})},
      {"replacement is not rescanned",
       units({'a', 'b', 0, 'a', 'b', 0}),
       {{u"ab", u"cab"}},
       2,
       units({'c', 'a', 'b', 0, 'c', 'a', 'b', 0})},
      {"shrinks",
       units({1, 'l', 'o', 'n', 'g', 0}),
       {{u"long", u"sh"}},
       1,
       units({1, 's', 'h', 0})},
      {"hit at the first unit",
       units({'x', 'y', 0, 5}),
       {{u"xy", u"zz"}},
       1,
       units({'z', 'z', 0, 5})},
      {"an empty list", make_menu({{u"&File", 1, {}, 0}}), {}, 0, {}},
  };
  for (const MenuCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    ResourceTreeSpec tree;
    tree.data_step = 16;
    tree.types.push_back({rid(4), {{rid(1), {{0x409, c.item, 1252}}}}});
    const ResourceImage input = make_resource_image(tree);
    const RunResult result = run_on(make_pair_list(c.pairs), input.image.bytes);
    if (c.count == 0) {
      EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
      EXPECT_BYTES(read("app.exe"), input.image.bytes);
      EXPECT_FALSE(exists("app.exe.old"));
      continue;
    }
    EXPECT_EQ(result.out,
              std::to_string(c.count) + " strings replaced in app.exe.\n");
    EXPECT_EQ(
        read("app.exe"),
        expected_output(input, repack_of(input, {{0, c.rewritten}})).bytes);
  }
}

TEST_F(RewriteTest, TwoDataEntriesWithOneItemGiveTwoCopies) {
  ResourceTreeSpec tree;
  tree.types.push_back({rid(4),
                        {{rid(1),
                          {{0x409, sample_menu(u"&Open", u"&About"), 1252},
                           {0x407, sample_menu(u"&Open", u"&About"), 1252}}}}});
  ResourceImage input = make_resource_image(tree);
  // Point the second data entry at the first item.
  Bytes& bytes = input.image.bytes;
  const uint32_t first = input.rsrc_raw + input.resources.data_entry_offsets[0];
  const uint32_t second =
      input.rsrc_raw + input.resources.data_entry_offsets[1];
  put32(bytes, second, get32(bytes, first));
  const Bytes rewritten = sample_menu(u"&Load", u"&About");
  const RunResult result =
      run_on(make_pair_list({{u"&Open", u"&Load"}}), bytes);
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  EXPECT_EQ(
      read("app.exe"),
      expected_output(input, repack_of(input, {{0, rewritten}, {1, rewritten}}))
          .bytes);
}

// Menus of many pages between items kept where they lie: the memory behind
// a rewritten menu is given back, and read again where a kept item shares
// its pages.
TEST_F(RewriteTest, MenusOfManyPagesBetweenKeptItems) {
  const auto long_menu = [](const std::u16string& text) {
    std::vector<MenuItem> items(12000, MenuItem{u"Item", 7, {}, 0});
    items.front().text = text;
    items.back().text = text;
    return make_menu(items);
  };
  ResourceTreeSpec tree;
  tree.types.push_back({rid(3), {{rid(1), {{0x409, Bytes(70001, 'i'), 0}}}}});
  tree.types.push_back({rid(4),
                        {{rid(1), {{0x409, long_menu(u"&Open"), 1252}}},
                         {rid(2), {{0x409, long_menu(u"&Open"), 1252}}}}});
  tree.types.push_back({rid(10), {{rid(1), {{0x409, Bytes(300001, 'r'), 0}}}}});
  const ResourceImage input = make_resource_image(tree);
  const RunResult result =
      run_on(make_pair_list({{u"&Open", u"&Load"}}), input.image.bytes);
  EXPECT_EQ(result.out, "4 strings replaced in app.exe.\n");
  const Bytes rewritten = long_menu(u"&Load");
  EXPECT_BYTES(
      read("app.exe"),
      expected_output(input, repack_of(input, {{1, rewritten}, {2, rewritten}}))
          .bytes);
}

TEST_F(RewriteTest, ManyExecutablesOneRun) {
  const ResourceImage input =
      make_resource_image(one_menu_tree(sample_menu(u"&Open", u"&About")));
  const Bytes expected =
      expected_output(
          input,
          repack_of(input, {{kMenuItem, sample_menu(u"&Load", u"&About")}}))
          .bytes;
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  std::vector<std::string> args = {"list.txt"};
  std::string out;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "app" + std::to_string(i) + ".exe";
    write(name, input.image.bytes);
    args.push_back(name);
    out += "1 strings replaced in " + name + ".\n";
  }
  const RunResult result = run(args);
  EXPECT_EQ(result.out, out);
  EXPECT_BYTES(read("app299.exe"), expected);
  EXPECT_BYTES(read("app0.exe.old"), input.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

}  // namespace
}  // namespace e2e
