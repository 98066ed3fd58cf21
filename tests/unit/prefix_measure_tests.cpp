// SPDX-License-Identifier: MIT
// The directory prefix measure: tables, entry arrays, name strings (two
// bytes beyond the counted string) and data entries, rounded up to 16; and
// the reason every refusal of an image keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
                uitrans::ByteSpan{image.data(), image.size()}, 0, &prefix)
                .message,
            uitrans::Message::none);
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

// Every refusal names the check that fired. The tree is at offset 0 of the
// image, resource RVAs equal image offsets.
struct RefusalCase {
  const char* label;
  Bytes image;
  uitrans::InvalidReason reason;
};

Bytes one_item_tree(uint32_t type, uint32_t rva, uint32_t size,
                    size_t image_size) {
  Bytes tree;
  put_directory(tree, 0, 0, 1);
  put_entry(tree, 16, type, 0x18);
  put_data_entry(tree, 0x18, rva, size);
  tree.resize(image_size, 0);
  return tree;
}

// A classic dialog template at 0x30 with one control and no font, its item
// `keep` bytes long and ending the image.
Bytes dialog_image(size_t keep, bool terminate_title) {
  Bytes image = one_item_tree(5, 0x30, 64, 0x30);
  Bytes dialog(18, 0);
  testsupport::put16(dialog, 8, 1);  // cdit
  testsupport::append16(dialog, 0);  // menu
  testsupport::append16(dialog, 0);  // class
  testsupport::append_text(dialog, u"Title");
  if (terminate_title) testsupport::append16(dialog, 0);
  image.insert(image.end(), dialog.begin(), dialog.end());
  image.resize(0x30 + keep, 0);  // cut short, or one odd byte more
  put_data_entry(image, 0x18, 0x30, static_cast<uint32_t>(image.size() - 0x30));
  return image;
}

Bytes shared_large_item_tree() {
  // 80 data entries all naming the same 1 MiB item: 80 MiB of copies from
  // a 1 MiB file is past the budget.
  constexpr uint32_t kEntries = 80;
  Bytes tree;
  put_directory(tree, 0, 0, kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) {
    put_entry(tree, 16 + 8 * i, 10, 0x400 + 16 * i);
    put_data_entry(tree, 0x400 + 16 * i, 0, 1 << 20);
  }
  tree.resize(1 << 20, 0);
  return tree;
}

TEST(RefusalReasonTest, EachCheckNamesItself) {
  using uitrans::InvalidReason;
  Bytes far_directory;
  put_directory(far_directory, 0, 0, 1);
  put_entry(far_directory, 16, 4, kHighBit | 0x7FFFFFF0u);
  Bytes long_entry_array;
  put_directory(long_entry_array, 0, 0, 0xFFFF);
  long_entry_array.resize(0x100, 0);
  Bytes far_name;
  put_directory(far_name, 0, 1, 0);
  put_entry(far_name, 16, kHighBit | 0x7FFFFFF0u, 0x18);
  put_data_entry(far_name, 0x18, 0, 0);
  Bytes far_data_entry;
  put_directory(far_data_entry, 0, 0, 1);
  put_entry(far_data_entry, 16, 4, 0x7FFFFFF0u);
  const std::vector<RefusalCase> cases = {
      {"subdirectory past the end", far_directory,
       InvalidReason::directory_outside},
      {"entry array past the end", long_entry_array,
       InvalidReason::entry_outside},
      {"name past the end", far_name, InvalidReason::name_outside},
      {"data entry past the end", far_data_entry,
       InvalidReason::data_entry_outside},
      {"prefix rounded past the end", one_item_tree(10, 0, 0, 0x28),
       InvalidReason::prefix_outside},
      {"item past the end", one_item_tree(10, 0x30, 0x100, 0x40),
       InvalidReason::item_outside},
      {"shared item copied too often", shared_large_item_tree(),
       InvalidReason::copy_budget_exceeded},
      {"dialog of one byte at the end", one_item_tree(5, 0x3F, 1, 0x40),
       InvalidReason::template_too_short},
      {"dialog ending in its first control", dialog_image(35, true),
       InvalidReason::template_truncated},
      {"dialog title without its zero", dialog_image(32, false),
       InvalidReason::text_unterminated},
  };
  uitrans::ReplacementTable table;
  uitrans::build_lookup_index(&table);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.label);
    uitrans::ImageInfo info;  // the resource root at offset 0, RVA 0
    uitrans::RebuildOutput output;
    Bytes image = c.image;
    uitrans::RebuildResult result = uitrans::rebuild_resources(
        image.data(), image.size(), info, table, &output);
    EXPECT_EQ(result.outcome.message, uitrans::Message::not_valid);
    EXPECT_EQ(result.outcome.reason, c.reason);
  }
}

struct HeaderCase {
  const char* label;
  std::function<void(testsupport::BuiltImage&)> change;
  uitrans::InvalidReason reason;
};

TEST(RefusalReasonTest, HeaderChecksNameThemselves) {
  using testsupport::BuiltImage;
  using testsupport::put16;
  using testsupport::put32;
  using uitrans::InvalidReason;
  const std::vector<HeaderCase> cases = {
      {"63 bytes", [](BuiltImage& i) { i.bytes.resize(63); },
       InvalidReason::file_too_small},
      {"negative e_lfanew",
       [](BuiltImage& i) { put32(i.bytes, 0x3C, 0x80000000u); },
       InvalidReason::nt_offset_negative},
      {"e_lfanew past the end",
       [](BuiltImage& i) {
         put32(i.bytes, 0x3C, static_cast<uint32_t>(i.bytes.size()) - 23);
       },
       InvalidReason::nt_headers_outside},
      {"signature PE\\0\\1",
       [](BuiltImage& i) { i.bytes[i.nt_offset + 3] = 1; },
       InvalidReason::bad_nt_signature},
      {"optional header size 0",
       [](BuiltImage& i) { put16(i.bytes, i.nt_offset + 20, 0); },
       InvalidReason::no_optional_header},
      {"optional header past the end",
       [](BuiltImage& i) { put16(i.bytes, i.nt_offset + 20, 0xFFFF); },
       InvalidReason::optional_header_outside},
      {"unknown magic",
       [](BuiltImage& i) { put16(i.bytes, i.optional_header_offset, 0x107); },
       InvalidReason::bad_optional_header},
      {"section table past the end",
       [](BuiltImage& i) { put16(i.bytes, i.nt_offset + 6, 0xFFFF); },
       InvalidReason::section_table_outside},
      {"resource raw data past the end",
       [](BuiltImage& i) {
         put32(i.bytes,
               testsupport::section_header_offset(i, 1) +
                   testsupport::kSecSizeOfRawData,
               0x7FFFFFFF);
       },
       InvalidReason::resource_data_outside},
      {"file alignment 0",
       [](BuiltImage& i) { put32(i.bytes, i.optional_header_offset + 36, 0); },
       InvalidReason::bad_file_alignment},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::ResourceImage built =
        testsupport::make_resource_image(testsupport::ResourceTreeSpec{});
    c.change(built.image);
    uitrans::ImageInfo info;
    const uitrans::Outcome outcome = uitrans::validate_image(
        uitrans::ByteSpan{built.image.bytes.data(), built.image.bytes.size()},
        &info);
    EXPECT_EQ(outcome.message, uitrans::Message::not_valid);
    EXPECT_EQ(outcome.reason, c.reason);
  }
}

}  // namespace
