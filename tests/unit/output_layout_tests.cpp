// SPDX-License-Identifier: MIT
// The output layout and the header fields of rewritten images: sizes and
// addresses of the sections, the image size, the data directory, file
// offsets kept in the headers, debug directory entries and the checksum.
#include <gtest/gtest.h>

#include <vector>

#include "image/image_info.h"
#include "image/output.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::get32;
using testsupport::put32;
using testsupport::reference_checksum;

constexpr uint32_t kDiscardable = 0x42000040;  // initialized, discardable
constexpr uint32_t kReadWrite = 0xC0000040;
constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;

// Directory indices.
constexpr uint32_t kCertificates = 4;
constexpr uint32_t kBaseRelocations = 5;
constexpr uint32_t kDebug = 6;

struct Layout {
  uint32_t rsrc_raw = 0x400;      // raw bytes of .rsrc
  uint32_t rsrc_virtual = 0x300;  // VirtualSize of .rsrc
  // A section after .rsrc in memory (and in the file), or none.
  bool with_following = true;
  uint32_t following_va = 0x3000;
  uint32_t following_flags = kDiscardable;
  bool checksum = false;
  uint32_t section_alignment = kSectionAlign;
  // The debug directory holds the entry at the start of .text, or entries
  // from there to the end of the file and this many more past it.
  bool debug_to_file_end = false;
  uint32_t debug_entries_past_end = 0;
};

struct Built {
  testsupport::BuiltImage image;
  uitrans::ImageInfo info;
};

// .text, .rdata (holding a debug directory), .rsrc, and maybe .reloc.
Built build(const Layout& layout) {
  testsupport::ImageSpec spec;
  spec.section_alignment = layout.section_alignment;
  spec.file_alignment = kFileAlign;
  spec.sections.push_back(
      {".text", 0x1000, 0x10, Bytes(0x10, 0xC3), 0x60000020});
  spec.sections.push_back({".rsrc", 0x2000, layout.rsrc_virtual,
                           Bytes(layout.rsrc_raw, 0xEE), 0x40000040});
  if (layout.with_following) {
    spec.sections.push_back({".reloc", layout.following_va, 0x20,
                             Bytes(0x20, 0x55), layout.following_flags});
  }
  spec.tail = Bytes(0x30, 0x77);  // e.g. a certificate or symbols
  Built built;
  built.image = testsupport::build_image(spec);
  Bytes& bytes = built.image.bytes;
  uint32_t opt = built.image.optional_header_offset;
  uint32_t dd = built.image.data_directory_offset;
  put32(bytes, opt + 64, layout.checksum ? 0x00012345 : 0);
  if (layout.with_following) {
    put32(bytes, dd + 8 * kBaseRelocations, layout.following_va);
    put32(bytes, dd + 8 * kBaseRelocations + 4, 0x20);
  }
  uint32_t tail = built.image.tail_offset;
  put32(bytes, dd + 8 * kCertificates, tail);  // a file offset
  put32(bytes, dd + 8 * kCertificates + 4, 0x10);
  put32(bytes, built.image.nt_offset + 12, tail + 0x10);  // symbol table
  // One debug directory entry at the start of .text, its data in .reloc
  // (in memory) and in the tail (in the file).
  put32(bytes, dd + 8 * kDebug, 0x1000);
  put32(bytes, dd + 8 * kDebug + 4, 28);
  uint32_t debug_entry = built.image.raw_pointers[0];
  put32(bytes, debug_entry + 20, layout.following_va + 0x10);
  put32(bytes, debug_entry + 24, tail + 0x20);
  if (layout.debug_to_file_end) {
    // A longer tail so that whole entries end at the end of the file.
    while ((bytes.size() - debug_entry) % 28 != 0) bytes.push_back(0x77);
    uint32_t entries = static_cast<uint32_t>(bytes.size() - debug_entry) / 28;
    put32(bytes, dd + 8 * kDebug + 4,
          (entries + layout.debug_entries_past_end) * 28);
  }
  EXPECT_EQ(uitrans::validate_image(
                uitrans::ByteSpan{bytes.data(), bytes.size()}, &built.info)
                .message,
            uitrans::Message::none);
  return built;
}

struct Composed {
  uitrans::Message status = uitrans::Message::none;
  Bytes file;   // the written file
  Bytes image;  // the image buffer afterwards
};

// Lays out rebuilt resources of `prefix` + `data_size` bytes.
Composed compose(Built& built, uint32_t prefix, uint32_t data_size) {
  uitrans::ImageBuffer buffer;
  Bytes& bytes = built.image.bytes;
  buffer.size = bytes.size();
  buffer.data.reset(new uint8_t[buffer.size]);
  std::copy(bytes.begin(), bytes.end(), buffer.data.get());
  Bytes data(data_size, 0xDA);
  uitrans::OutputImage output;
  Composed result;
  result.status = uitrans::compose_output(
                      &buffer, built.info, prefix,
                      uitrans::ByteSpan{data.data(), data.size()}, &output)
                      .message;
  result.image.assign(buffer.data.get(), buffer.data.get() + buffer.size);
  if (result.status != uitrans::Message::none) return result;
  for (const uitrans::WriteChunk& chunk : output.chunks) {
    if (chunk.data == nullptr) {
      result.file.insert(result.file.end(), chunk.size, 0);
    } else {
      result.file.insert(result.file.end(), chunk.data,
                         chunk.data + chunk.size);
    }
  }
  EXPECT_EQ(result.file.size(), output.total_size);
  return result;
}

// Reads fields of a written file.
struct Fields {
  const Built& built;
  const Bytes& file;
  uint32_t section(size_t index, uint32_t field) const {
    return get32(
        file, testsupport::section_header_offset(built.image, index) + field);
  }
  uint32_t directory(uint32_t index, uint32_t half = 0) const {
    return get32(file, built.image.data_directory_offset + 8 * index + half);
  }
  uint32_t optional(uint32_t field) const {
    return get32(file, built.image.optional_header_offset + field);
  }
};

constexpr uint32_t kVirtualSize = 8, kVirtualAddress = 12, kRawSize = 16,
                   kRawPointer = 20;
constexpr uint32_t kSizeOfImage = 56, kCheckSum = 64;

TEST(OutputLayout, InPlaceWithinVirtualSizeKeepsHeaders) {
  Layout layout;
  Built built = build(layout);
  Composed out = compose(built, 0x40, 0x100);  // 0x140 <= 0x300
  ASSERT_EQ(out.status, uitrans::Message::none);
  const Bytes& in = built.image.bytes;
  ASSERT_EQ(out.file.size(), in.size());
  uint32_t rsrc = built.image.raw_pointers[1];
  // Everything outside the section's rebuilt stretch is unchanged.
  EXPECT_TRUE(
      std::equal(in.begin(), in.begin() + rsrc + 0x40, out.file.begin()));
  EXPECT_TRUE(std::equal(in.begin() + rsrc + 0x200, in.end(),
                         out.file.begin() + rsrc + 0x200));
  EXPECT_EQ(out.file[rsrc + 0x40], 0xDA);
  EXPECT_EQ(out.file[rsrc + 0x13F], 0xDA);
  EXPECT_EQ(out.file[rsrc + 0x140], 0);  // zero up to R
  EXPECT_EQ(out.file[rsrc + 0x1FF], 0);
  EXPECT_EQ(out.file[rsrc + 0x200], 0xEE);  // old bytes past R stay
}

// The layout rules as one table: the input sections and the size of the
// rebuilt resources, and what the output states for them, or a refusal.
// .rsrc is at 0x2000 in memory; the section after it (when there is one) at
// `following_va`. Shifts are relative to where things stood in the input.
struct LayoutCase {
  const char* what;
  Layout layout;
  uint32_t data_size;  // after a 0x40-byte prefix
  bool refused = false;
  // Expected when laid out:
  uint32_t rsrc_virtual_size = 0;
  uint32_t rsrc_raw_size = 0;
  uint32_t directory_size = 0;  // of the resource data directory entry
  uint32_t following_va = 0;
  uint32_t file_shift = 0;     // of the following section, the tail, file size
  uint32_t size_of_image = 0;  // 0: as in the input
};

Layout with(uint32_t rsrc_virtual, bool following, uint32_t flags,
            uint32_t section_alignment = kSectionAlign) {
  Layout layout;
  layout.rsrc_virtual = rsrc_virtual;
  layout.with_following = following;
  layout.following_flags = flags;
  layout.section_alignment = section_alignment;
  return layout;
}

// Debug entries up to the end of the file and `past_end` more.
Layout with_debug_to_end(uint32_t rsrc_virtual, uint32_t past_end) {
  Layout layout = with(rsrc_virtual, true, kDiscardable);
  layout.debug_to_file_end = true;
  layout.debug_entries_past_end = past_end;
  return layout;
}

const LayoutCase kLayoutCases[] = {
    // what, input, data size, refused,
    //   VirtualSize, SizeOfRawData, directory size, following VA, file shift,
    //   SizeOfImage
    {"in place, within VirtualSize", with(0x300, true, kDiscardable), 0x100,
     false, 0x300, 0x400, 0x300, 0x3000, 0, 0x4000},
    {"in place past VirtualSize raises it to the raw size",
     with(0x200, true, kDiscardable), 0x1F0, false, 0x400, 0x400, 0x400, 0x3000,
     0, 0x4000},
    {"grown last section", with(0x300, false, kDiscardable), 0x1100, false,
     0x1200, 0x1200, 0x1200, 0, 0xE00, 0x4000},
    {"grown before a discardable section, which moves up",
     with(0x300, true, kDiscardable), 0x1100, false, 0x1200, 0x1200, 0x1200,
     0x4000, 0xE00, 0x5000},
    {"grown onto a section that must stay", with(0x300, true, kReadWrite),
     0x1100, true},
    {"grown within the room below a section that must stay",
     with(0x300, true, kReadWrite), 0x600, false, 0x800, 0x800, 0x800, 0x3000,
     0x400, 0x4000},
    {"grown in memory with an unusable SectionAlignment",
     with(0x300, true, kDiscardable, 0x1001), 0x1100, true},
    {"in place needs no SectionAlignment",
     with(0x300, true, kDiscardable, 0x1001), 0x100, false, 0x300, 0x400, 0x300,
     0x3000, 0, 0},
    {"grown in the file only needs no SectionAlignment",
     with(0x2000, true, kDiscardable, 0x1001), 0x1100, false, 0x2000, 0x1200,
     0x2000, 0x3000, 0xE00, 0},
    {"grown with debug entries ending at the end of the file",
     with_debug_to_end(0x300, 0), 0x1100, false, 0x1200, 0x1200, 0x1200, 0x4000,
     0xE00, 0x5000},
    {"grown with debug entries running past the end of the file",
     with_debug_to_end(0x300, 1), 0x1100, true},
    {"grown in the file only with debug entries past the end of the file",
     with_debug_to_end(0x2000, 1), 0x1100, true},
    {"in place, debug entries past the end of the file are not walked",
     with_debug_to_end(0x200, 1), 0x1F0, false, 0x400, 0x400, 0x400, 0x3000, 0,
     0x4000},
};

TEST(OutputLayout, LayoutRulesTable) {
  for (const LayoutCase& c : kLayoutCases) {
    SCOPED_TRACE(c.what);
    Built built = build(c.layout);
    Composed out = compose(built, 0x40, c.data_size);
    if (c.refused) {
      EXPECT_EQ(out.status, uitrans::Message::cannot_grow);
      EXPECT_EQ(out.image, built.image.bytes);  // nothing patched
      continue;
    }
    ASSERT_EQ(out.status, uitrans::Message::none);
    Fields f{built, out.file};
    EXPECT_EQ(f.section(1, kVirtualSize), c.rsrc_virtual_size);
    EXPECT_EQ(f.section(1, kRawSize), c.rsrc_raw_size);
    EXPECT_EQ(f.section(1, kRawPointer), built.image.raw_pointers[1]);
    EXPECT_EQ(f.directory(2, 4), c.directory_size);
    if (c.layout.with_following) {
      EXPECT_EQ(f.section(2, kVirtualAddress), c.following_va);
      EXPECT_EQ(f.section(2, kRawPointer),
                built.image.raw_pointers[2] + c.file_shift);
      EXPECT_EQ(f.directory(kBaseRelocations), c.following_va);
      EXPECT_EQ(f.directory(kBaseRelocations, 4), 0x20u);
      uint32_t debug_entry = built.image.raw_pointers[0];
      EXPECT_EQ(get32(out.file, debug_entry + 20), c.following_va + 0x10);
    }
    EXPECT_EQ(f.directory(kDebug), 0x1000u);  // in .text: never moved
    const uint32_t input_size_of_image = get32(
        built.image.bytes, built.image.optional_header_offset + kSizeOfImage);
    EXPECT_EQ(f.optional(kSizeOfImage),
              c.size_of_image != 0 ? c.size_of_image : input_size_of_image);
    EXPECT_EQ(out.file.size(), built.image.bytes.size() + c.file_shift);
    // File offsets past the old end of the section move with the tail.
    uint32_t tail = built.image.tail_offset;
    EXPECT_EQ(f.directory(kCertificates), tail + c.file_shift);
    EXPECT_EQ(get32(out.file, built.image.nt_offset + 12),
              tail + 0x10 + c.file_shift);
    EXPECT_EQ(get32(out.file, built.image.raw_pointers[0] + 24),
              tail + 0x20 + c.file_shift);
    EXPECT_EQ(out.file[tail + c.file_shift], 0x77);
    EXPECT_EQ(f.optional(kCheckSum), 0u);  // zero stays zero
  }
}

TEST(OutputLayout, StatedChecksumIsRecomputedInBothLayouts) {
  Layout layout;
  layout.checksum = true;
  for (uint32_t data_size : {0x100u, 0x1100u, 0x1101u}) {
    Built built = build(layout);
    Composed out = compose(built, 0x40, data_size);
    ASSERT_EQ(out.status, uitrans::Message::none);
    uint32_t at = built.image.optional_header_offset + kCheckSum;
    EXPECT_EQ(get32(out.file, at), reference_checksum(out.file, at))
        << "data size " << data_size;
  }
}

TEST(OutputLayout, ChecksumOfOddLengthFile) {
  Layout layout;
  layout.checksum = true;
  Built built = build(layout);
  built.image.bytes.push_back(0x9C);  // an odd trailing byte
  Composed out = compose(built, 0x40, 0x1100);
  ASSERT_EQ(out.status, uitrans::Message::none);
  ASSERT_EQ(out.file.size() % 2, 1u);
  uint32_t at = built.image.optional_header_offset + kCheckSum;
  EXPECT_EQ(get32(out.file, at), reference_checksum(out.file, at));
}

}  // namespace
