// SPDX-License-Identifier: MIT
// Hostile resource trees: sizes and counts far beyond the file, and data
// entries shared many times over. What the rebuild allocates must stay
// proportional to the file, whatever the size fields and counts say. (The
// walk through deep, looping and shared directories is checked end to end in
// tests/e2e/malformed_tree_e2e_tests.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "image/image_info.h"
#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::kHighBit;
using testsupport::kRsrcRva;
using testsupport::put_data_entry;
using testsupport::put_directory;
using testsupport::put_entry;

constexpr uint32_t kMenuType = 4;

Bytes sample_menu() {
  return testsupport::make_menu({testsupport::MenuItem{u"&Open", 1, {}, 0}});
}

// The one pair every rebuild here translates with.
uitrans::ReplacementTable open_to_load() {
  const Bytes list = testsupport::make_pair_list({{u"&Open", u"&Load"}});
  uitrans::ReplacementTable table;
  uitrans::parse_replacement_list(uitrans::ByteSpan{list.data(), list.size()},
                                  &table);
  return table;
}

// The rebuild of a hand-made resource section with one replacement pair.
struct Outcome {
  uitrans::Message status = uitrans::Message::none;
  int32_t replaced = 0;
  uint32_t used = 0;
  uint32_t capacity = 0;
  size_t image_size = 0;
};

Outcome rebuild(const Bytes& rsrc) {
  const testsupport::ResourceImage input =
      testsupport::make_raw_resource_image(rsrc);
  Bytes image = input.image.bytes;
  Outcome outcome;
  outcome.image_size = image.size();
  uitrans::ImageInfo info;
  EXPECT_EQ(uitrans::validate_image(
                uitrans::ByteSpan{image.data(), image.size()}, &info)
                .message,
            uitrans::Message::none);
  const uitrans::ReplacementTable table = open_to_load();
  uitrans::RebuildOutput output;
  const uitrans::RebuildResult result = uitrans::rebuild_resources(
      image.data(), image.size(), info, table, &output);
  outcome.status = result.outcome.message;
  outcome.replaced = result.replaced_count;
  outcome.used = output.used;
  outcome.capacity = output.capacity;
  uitrans::release_output(&output);
  return outcome;
}

// Appends a data entry for `item` and the item itself at the end of `rsrc`;
// returns the data entry's offset.
uint32_t add_item(Bytes& rsrc, const Bytes& item, uint32_t declared_size) {
  testsupport::pad_to(rsrc, 16);
  const uint32_t entry = static_cast<uint32_t>(rsrc.size());
  const uint32_t item_offset = entry + 16;
  put_data_entry(rsrc, entry, kRsrcRva + item_offset, declared_size);
  rsrc.insert(rsrc.end(), item.begin(), item.end());
  return entry;
}

// Sizes and counts that point past the file are refused before anything is
// allocated for them.
TEST(BoundedResources, HugeDeclaredSizesAndCountsAllocateNothing) {
  struct Case {
    const char* what;
    uint32_t type;
    uint32_t declared_size;
  };
  const Case cases[] = {
      {"menu of 4 GiB", kMenuType, 0xFFFFFFFF},
      {"menu of 2 GiB", kMenuType, 0x80000000},
      {"dialog of 4 GiB", 5, 0xFFFFFFFF},
      {"string table of 4 GiB", 6, 0xFFFFFFFF},
      {"other item of 256 MiB", 6, 0x10000000},
      {"item one byte past the end", 6, 0x1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes rsrc;
    put_directory(rsrc, 0, 0, 1);
    put_entry(rsrc, 16, c.type, 32);
    add_item(rsrc, sample_menu(), c.declared_size);
    const Outcome outcome = rebuild(rsrc);
    EXPECT_EQ(outcome.status, uitrans::Message::not_valid);
    EXPECT_EQ(outcome.capacity, 0u);
  }

  // Directory counts and name lengths that run off the end of the file.
  Bytes counts;
  put_directory(counts, 0, 0xFFFF, 0xFFFF);
  EXPECT_EQ(rebuild(counts).status, uitrans::Message::not_valid);
  Bytes name;
  put_directory(name, 0, 1, 0);
  put_entry(name, 16, kHighBit | 24, 32);
  testsupport::put16(name, 24, 0xFFFF);  // a name of 65535 units
  EXPECT_EQ(rebuild(name).status, uitrans::Message::not_valid);
}

// Many data entries may name the same item; each gets its own copy. The
// copies must not make the rebuild allocate without bound: a tree whose
// copies would add up to far more than the file is refused as invalid
// before memory grows beyond a fixed multiple of the file size.
TEST(BoundedResources, ManyEntriesSharingOneLargeItemStayBounded) {
  constexpr uint32_t kEntries = 4096;
  constexpr uint32_t kItemSize = 1 << 20;  // 1 MiB, shared by every entry
  Bytes rsrc;
  put_directory(rsrc, 0, 0, 1);
  put_entry(rsrc, 16, 6, kHighBit | 24);
  put_directory(rsrc, 24, 0, kEntries);
  const uint32_t entries_at = 40 + 8 * kEntries;
  const uint32_t item_at = entries_at + 16 * kEntries;
  for (uint32_t k = 0; k < kEntries; ++k) {
    put_entry(rsrc, 40 + 8 * k, k, entries_at + 16 * k);
    put_data_entry(rsrc, entries_at + 16 * k, kRsrcRva + item_at, kItemSize);
  }
  rsrc.resize(item_at + kItemSize, 0x5A);
  const Outcome outcome = rebuild(rsrc);
  // 4096 copies would take 4 GiB for a file of about 1 MiB.
  EXPECT_EQ(outcome.status, uitrans::Message::not_valid);
  // The output grows geometrically, by half its size at most beyond need.
  EXPECT_LE(uint64_t{outcome.capacity},
            8 * uint64_t{outcome.image_size} + (128u << 20));
}

std::vector<std::pair<const uint8_t*, size_t>> released;

void record_release(const void* data, size_t size) {
  released.emplace_back(static_cast<const uint8_t*>(data), size);
}

// Once items are in the output, the memory behind them is given back a step
// at a time: only behind the directory prefix, inside the section, where
// the rebuild wrote nothing.
TEST(BoundedResources, MemoryGivenBackLiesBehindThePrefixUnwritten) {
  const Bytes menu = testsupport::make_menu(std::vector<testsupport::MenuItem>(
      12000, testsupport::MenuItem{u"&Open", 7, {}, 0}));
  testsupport::ResourceTreeSpec tree;
  tree.types.push_back(
      {testsupport::rid(3), {{testsupport::rid(1), {{0, Bytes(70001, 1)}}}}});
  tree.types.push_back({testsupport::rid(kMenuType),
                        {{testsupport::rid(1), {{0, menu}}},
                         {testsupport::rid(2), {{0, menu}}}}});
  const testsupport::ResourceImage input =
      testsupport::make_resource_image(tree);
  Bytes image = input.image.bytes;
  uitrans::ImageInfo info;
  ASSERT_EQ(uitrans::validate_image(
                uitrans::ByteSpan{image.data(), image.size()}, &info)
                .message,
            uitrans::Message::none);
  const uitrans::ReplacementTable table = open_to_load();
  uitrans::RebuildOptions options;
  options.reference_unchanged = true;
  options.release_pages = record_release;
  uitrans::RebuildOutput output;
  released.clear();
  const uitrans::RebuildResult result = uitrans::rebuild_resources(
      image.data(), image.size(), info, table, &output, options);
  ASSERT_TRUE(result.outcome.ok());
  EXPECT_EQ(result.replaced_count, 24000);
  const size_t zone_start = input.rsrc_raw + result.prefix_size;
  const size_t zone_end = input.rsrc_raw + input.image.raw_sizes[1];
  size_t total = 0;
  for (const auto& [data, size] : released) {
    const size_t at = static_cast<size_t>(data - image.data());
    EXPECT_GE(at, zone_start);
    EXPECT_LE(at + size, zone_end);
    EXPECT_TRUE(std::equal(image.begin() + at, image.begin() + at + size,
                           input.image.bytes.begin() + at));
    total += size;
  }
  EXPECT_GE(total, 2 * menu.size());
  EXPECT_LE(released.size(), 4u);
}

}  // namespace
