// SPDX-License-Identifier: MIT
// Hand-made resource trees: cycles, shared nodes, deep nesting, and offsets
// or sizes that leave the file. No crash, the stated message, and files
// that are not written stay as they were.
#include <gtest/gtest.h>

#include <functional>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace testsupport;

// root (one ID entry) -> type table -> name table -> data entry -> item.
constexpr uint32_t kTypeTable = 0x18;
constexpr uint32_t kNameTable = 0x30;
constexpr uint32_t kDataEntry = 0x48;
constexpr uint32_t kItem = 0x60;

Bytes simple_tree(uint32_t type, const Bytes& item) {
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, type, kHighBit | kTypeTable);
  put_directory(tree, kTypeTable, 0, 1);
  put_entry(tree, kTypeTable + 16, 1, kHighBit | kNameTable);
  put_directory(tree, kNameTable, 0, 1);
  put_entry(tree, kNameTable + 16, 0x409, kDataEntry);
  put_data_entry(tree, kDataEntry, kRsrcRva + kItem,
                 static_cast<uint32_t>(item.size()));
  tree.resize(kItem);
  tree.insert(tree.end(), item.begin(), item.end());
  return tree;
}

const Bytes kMenu = sample_menu(u"&Open", u"&About");
const Bytes kMenuAfter = sample_menu(u"&Load", u"&About");

class MalformedTreeTest : public E2eTest {
 protected:
  void SetUp() override {
    write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  }
  RunResult run_on(const Bytes& image) {
    write("app.exe", image);
    return run({"list.txt", "app.exe"});
  }
  void expect_rewritten(const ResourceImage& input, const Repack& repack,
                        const std::string& out) {
    const RunResult result = run_on(input.image.bytes);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, out);
    EXPECT_BYTES(read("app.exe"), expected_output(input, repack).bytes);
    EXPECT_BYTES(read("app.exe.old"), input.image.bytes);
  }
};

// A tree for the walk: its bytes, the menu's data entry and the end of the
// directory prefix.
struct WalkTree {
  Bytes bytes;
  uint32_t data_entry = 0x50;
  uint32_t prefix = kItem;
};

WalkTree back_to_the_root() {
  Bytes tree;
  put_directory(tree, 0, 0, 2);
  put_entry(tree, 16, 4, kHighBit | 0x20);
  put_entry(tree, 24, 7, kHighBit | 0);  // the root again
  put_directory(tree, 0x20, 0, 1);
  put_entry(tree, 0x30, 1, kHighBit | 0x38);
  put_directory(tree, 0x38, 0, 1);
  put_entry(tree, 0x48, 0x409, 0x50);
  put_data_entry(tree, 0x50, kRsrcRva + 0x60,
                 static_cast<uint32_t>(kMenu.size()));
  tree.resize(0x60);
  tree.insert(tree.end(), kMenu.begin(), kMenu.end());
  return {tree};
}

// simple_tree with a second entry in the name table, which then ends at
// the old data entry; the data entry moves behind it.
WalkTree tree_with_second_language(uint32_t second_target) {
  Bytes tree = simple_tree(4, kMenu);
  put_directory(tree, kNameTable, 0, 2);
  put_entry(tree, kNameTable + 16, 0x409, 0x50);
  put_entry(tree, kNameTable + 24, 0x407, second_target);
  put_data_entry(tree, 0x50, kRsrcRva + kItem,
                 static_cast<uint32_t>(kMenu.size()));
  return {tree};
}

// Two entries of the type table lead to one name table.
WalkTree shared_name_table() {
  Bytes tree = simple_tree(4, kMenu);
  put_directory(tree, kTypeTable, 0, 2);
  put_entry(tree, kTypeTable + 16, 1, kHighBit | 0x38);
  put_entry(tree, kTypeTable + 24, 2, kHighBit | 0x38);
  put_directory(tree, 0x38, 0, 1);
  put_entry(tree, 0x48, 0x409, 0x50);
  put_data_entry(tree, 0x50, kRsrcRva + kItem,
                 static_cast<uint32_t>(kMenu.size()));
  return {tree};
}

// Appends a data entry for the menu at the next 16-byte boundary and the
// menu right behind it, where the prefix ends.
WalkTree with_menu(Bytes tree) {
  pad_to(tree, 16);
  const uint32_t entry = static_cast<uint32_t>(tree.size());
  put_data_entry(tree, entry, kRsrcRva + entry + 16,
                 static_cast<uint32_t>(kMenu.size()));
  tree.insert(tree.end(), kMenu.begin(), kMenu.end());
  return {tree, entry, entry + 16};
}

// A chain of directories far deeper than any native stack.
WalkTree deep_chain() {
  constexpr uint32_t kDepth = 200000;
  Bytes tree;
  for (uint32_t level = 0; level < kDepth; ++level) {
    put_directory(tree, 24 * level, 0, 1);
    put_entry(tree, 24 * level + 16, level == 0 ? 4 : 1,
              kHighBit | 24 * (level + 1));
  }
  WalkTree walk = with_menu(tree);
  put_entry(walk.bytes, 24 * (kDepth - 1) + 16, 1, walk.data_entry);
  return walk;
}

// root(0) -> A(40) -> B(72) -> data; root -> root; A -> root; B -> A.
WalkTree loops_to_ancestors() {
  Bytes tree;
  put_directory(tree, 0, 0, 2);
  put_entry(tree, 16, 4, kHighBit | 40);
  put_entry(tree, 24, 5, kHighBit | 0);
  put_directory(tree, 40, 0, 2);
  put_entry(tree, 56, 1, kHighBit | 0);
  put_entry(tree, 64, 2, kHighBit | 72);
  put_directory(tree, 72, 0, 2);
  put_entry(tree, 88, 1, kHighBit | 40);
  tree.resize(104);
  WalkTree walk = with_menu(tree);
  put_entry(walk.bytes, 96, 0x409, walk.data_entry);
  return walk;
}

// 64 levels, each directory twice pointing at the next: 2^64 paths.
WalkTree exponentially_many_paths() {
  constexpr uint32_t kLevels = 64;
  constexpr uint32_t kTable = 16 + 2 * 8;
  Bytes tree;
  for (uint32_t level = 0; level < kLevels; ++level) {
    put_directory(tree, kTable * level, 0, 2);
    for (uint32_t k = 0; k < 2; ++k) {
      put_entry(tree, kTable * level + 16 + 8 * k, level == 0 ? 4 : 1,
                kHighBit | kTable * (level + 1));
    }
  }
  put_directory(tree, kTable * kLevels, 0, 1);
  tree.resize(kTable * kLevels + 24);
  WalkTree walk = with_menu(tree);
  put_entry(walk.bytes, kTable * kLevels + 16, 0x409, walk.data_entry);
  return walk;
}

// One name table whose 20000 entries all name one data entry.
WalkTree one_data_entry_many_times() {
  constexpr uint32_t kEntries = 20000;
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, 4, kHighBit | 24);
  put_directory(tree, 24, 0, kEntries);
  tree.resize(40 + 8 * kEntries);
  WalkTree walk = with_menu(tree);
  for (uint32_t k = 0; k < kEntries; ++k) {
    put_entry(walk.bytes, 40 + 8 * k, k, walk.data_entry);
  }
  return walk;
}

// Tree shapes the walk must get through: every directory and data entry is
// visited once however often it is reached, loops end, and depth costs no
// stack. Each tree leads to the one menu, rebuilt and copied once.
struct WalkCase {
  const char* label;
  std::function<WalkTree()> tree;
};

TEST_F(MalformedTreeTest, WalkVisitsEveryNodeOnceTable) {
  const std::vector<WalkCase> cases = {
      {"an entry back to the root is passed over", back_to_the_root},
      {"a directory referring to itself",
       [] { return tree_with_second_language(kHighBit | kNameTable); }},
      {"a data entry named twice",
       [] { return tree_with_second_language(0x50); }},
      {"a directory reached twice", shared_name_table},
      {"a chain 200000 directories deep", deep_chain},
      {"loops to itself and to ancestors", loops_to_ancestors},
      {"2^64 paths through shared directories", exponentially_many_paths},
      {"one data entry named 20000 times", one_data_entry_many_times},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    SetUp();
    const WalkTree tree = c.tree();
    const ResourceImage input = make_raw_resource_image(tree.bytes);
    expect_rewritten(input,
                     Repack{tree.prefix, {tree.data_entry}, {kMenuAfter}},
                     "1 strings replaced in app.exe.\n");
  }
}

struct BadTreeCase {
  const char* label;
  std::function<void(Bytes&)> change;
};

TEST_F(MalformedTreeTest, OutsideTheImageIsInvalidTable) {
  const std::vector<BadTreeCase> cases = {
      {"item past the end",
       [](Bytes& t) { put32(t, kDataEntry + 4, 0x10000); }},
      {"huge item size",
       [](Bytes& t) { put32(t, kDataEntry + 4, 0xFFFFFFF0u); }},
      {"item before the image", [](Bytes& t) { put32(t, kDataEntry, 0); }},
      {"item RVA near 2^32",
       [](Bytes& t) { put32(t, kDataEntry, 0xFFFFFFF0u); }},
      {"subdirectory past the end",
       [](Bytes& t) { put32(t, kTypeTable + 20, kHighBit | 0x7FFFFF00u); }},
      {"data entry past the end",
       [](Bytes& t) { put32(t, kNameTable + 20, 0x7FFFFFF0u); }},
      {"entry array past the end", [](Bytes& t) { put16(t, 14, 0xFFFF); }},
      {"named entry whose string is past the end",
       [](Bytes& t) {
         put16(t, kTypeTable + 12, 1);
         put16(t, kTypeTable + 14, 0);
         put32(t, kTypeTable + 16, kHighBit | 0x7FFFFFF0u);
       }},
      {"name string too long for the file",
       [](Bytes& t) {
         put16(t, kTypeTable + 12, 1);
         put16(t, kTypeTable + 14, 0);
         put32(t, kTypeTable + 16, kHighBit | 0x58);
         put16(t, 0x58, 0xFFFF);
       }},
  };
  for (const BadTreeCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    SetUp();
    Bytes tree = simple_tree(4, kMenu);
    c.change(tree);
    const ResourceImage input = make_raw_resource_image(tree);
    const RunResult result = run_on(input.image.bytes);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "app.exe is not a valid win32 executeable.\n");
    EXPECT_BYTES(read("app.exe"), input.image.bytes);
    EXPECT_BYTES(read("out.txt"), kOutTxt);  // the rebuild stage was reached
    EXPECT_EQ(files(),
              (std::vector<std::string>{"app.exe", "list.txt", "out.txt"}));
  }
}

// An image whose file ends right after the last byte of the tree.
ResourceImage ending_with(const Bytes& tree) {
  ResourceImageOptions options;
  options.with_reloc = false;
  ResourceImage input = make_raw_resource_image(tree, options);
  Bytes& bytes = input.image.bytes;
  bytes.resize(input.rsrc_raw + tree.size());
  put32(
      bytes,
      section_header_offset(input.image, input.rsrc_index) + kSecSizeOfRawData,
      static_cast<uint32_t>(tree.size()));
  return input;
}

TEST_F(MalformedTreeTest, OddMenuItemAtTheEndOfTheFileIsInvalid) {
  // Its last unit would take in a byte behind the file.
  const Bytes item = concat({kMenu, {'Z'}});
  const ResourceImage input = ending_with(simple_tree(4, item));
  const RunResult result = run_on(input.image.bytes);
  EXPECT_EQ(result.out, "app.exe is not a valid win32 executeable.\n");
  EXPECT_BYTES(read("app.exe"), input.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(MalformedTreeTest, OddOtherItemAtTheEndOfTheFileIsCopied) {
  // A menu first, then an odd-sized icon that ends with the file.
  const Bytes icon = {1, 2, 3, 4, 5, 6, 7};
  Bytes tree;
  put_directory(tree, 0, 0, 2);
  put_entry(tree, 16, 3, kHighBit | 0x20);
  put_entry(tree, 24, 4, kHighBit | 0x38);
  put_directory(tree, 0x20, 0, 1);
  put_entry(tree, 0x30, 1, kHighBit | 0x50);
  put_directory(tree, 0x38, 0, 1);
  put_entry(tree, 0x48, 1, kHighBit | 0x68);
  put_directory(tree, 0x50, 0, 1);
  put_entry(tree, 0x60, 0x409, 0x80);
  put_directory(tree, 0x68, 0, 1);
  put_entry(tree, 0x78, 0x409, 0x90);
  const uint32_t menu_at = 0xA0;
  const uint32_t icon_at = round_up(menu_at + kMenu.size(), 8);
  put_data_entry(tree, 0x80, kRsrcRva + icon_at,
                 static_cast<uint32_t>(icon.size()));
  put_data_entry(tree, 0x90, kRsrcRva + menu_at,
                 static_cast<uint32_t>(kMenu.size()));
  tree.resize(menu_at);
  tree.insert(tree.end(), kMenu.begin(), kMenu.end());
  tree.resize(icon_at);
  tree.insert(tree.end(), icon.begin(), icon.end());
  const ResourceImage input = ending_with(tree);
  const Repack repack{0xA0, {0x80, 0x90}, {icon, kMenuAfter}};
  const ExpectedImage expected = expected_output(input, repack);
  EXPECT_TRUE(expected.grown);
  const RunResult result = run_on(input.image.bytes);
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\n"
            " Warning: app.exe string tables resized -\n"
            "\tstill experimental, could cause corruption.\n");
  EXPECT_BYTES(read("app.exe"), expected.bytes);
}

TEST_F(MalformedTreeTest, TextRunningIntoTheEndOfTheFileIsNoMatch) {
  write("list.txt", make_pair_list({{u"AB", u"XYZ"}}));
  const ResourceImage input = ending_with(simple_tree(4, units({0, 'A', 'B'})));
  const RunResult result = run_on(input.image.bytes);
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), input.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
  EXPECT_FALSE(exists("app.exe.old"));
}

}  // namespace
}  // namespace e2e
