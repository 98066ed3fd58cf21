// The directory prefix measure: tables, entry arrays, name strings (two
// bytes beyond the counted string) and data entries, rounded up to 16.
#include <gtest/gtest.h>

#include <vector>

#include "resources/rebuild.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::kHighBit;
using testsupport::put_data_entry;
using testsupport::put_directory;
using testsupport::put_entry;

uint32_t measure(const Bytes& tree) {
  Bytes image = tree;
  image.resize(tree.size() + 0x100, 0);  // room behind the tree
  uint32_t prefix = 0;
  EXPECT_EQ(uitrans::measure_directory_prefix(
                uitrans::ByteSpan{image.data(), image.size()}, 0, &prefix),
            uitrans::RebuildStatus::ok);
  return prefix;
}

TEST(PrefixMeasureTest, EmptyRootIsSixteen) {
  Bytes tree;
  put_directory(tree, 0, 0, 0);
  EXPECT_EQ(measure(tree), 16u);
}

TEST(PrefixMeasureTest, DataEntryEndRoundedUp) {
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, 4, 0x24);  // data entry ends at 0x34
  put_data_entry(tree, 0x24, 0, 0);
  EXPECT_EQ(measure(tree), 0x40u);
}

TEST(PrefixMeasureTest, NameStringCountsTwoExtraBytes) {
  // Name at 0x20 with 5 units ends at 0x2C; measured to 0x2E -> 0x30.
  Bytes tree;
  put_directory(tree, 0, 1, 0);
  put_entry(tree, 16, kHighBit | 0x20, 0x10);  // data entry: the root itself
  testsupport::put16(tree, 0x20, 5);
  EXPECT_EQ(measure(tree), 0x30u);
  // Ending at 0x2E exactly: 6 units -> 0x2E + 2 = 0x30 -> 0x30.
  testsupport::put16(tree, 0x20, 6);
  EXPECT_EQ(measure(tree), 0x30u);
  // 7 units: 0x30 + 2 -> 0x40.
  testsupport::put16(tree, 0x20, 7);
  EXPECT_EQ(measure(tree), 0x40u);
}

TEST(PrefixMeasureTest, NamesOnlyCountBelowTheNamedCount) {
  // The second entry has a high-bit Name but is an ID entry by position.
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, kHighBit | 0x60, 0x18);
  put_data_entry(tree, 0x18, 0, 0);
  EXPECT_EQ(measure(tree), 0x30u);
}

TEST(PrefixMeasureTest, DeepestPartWins) {
  Bytes tree;
  put_directory(tree, 0, 0, 2);
  put_entry(tree, 16, 3, kHighBit | 0x40);
  put_entry(tree, 24, 4, 0x20);
  put_data_entry(tree, 0x20, 0, 0);
  put_directory(tree, 0x40, 0, 1);
  put_entry(tree, 0x50, 1, 0x58);
  put_data_entry(tree, 0x58, 0, 0);  // ends at 0x68
  EXPECT_EQ(measure(tree), 0x70u);
}

TEST(PrefixMeasureTest, CyclesEnd) {
  Bytes tree;
  put_directory(tree, 0, 0, 2);
  put_entry(tree, 16, 4, kHighBit | 0);
  put_entry(tree, 24, 5, 0x20);
  put_data_entry(tree, 0x20, 0, 0);
  EXPECT_EQ(measure(tree), 0x30u);
}

TEST(PrefixMeasureTest, OutsideTheImageIsInvalid) {
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, 4, kHighBit | 0x7FFFFFF0u);
  uint32_t prefix = 0;
  EXPECT_EQ(uitrans::measure_directory_prefix(
                uitrans::ByteSpan{tree.data(), tree.size()}, 0, &prefix),
            uitrans::RebuildStatus::invalid_image);
}

}  // namespace
