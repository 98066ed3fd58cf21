// SPDX-License-Identifier: MIT
#include "e2e/e2e_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace e2e {

using testsupport::get32;
using testsupport::put32;
using testsupport::round_up;

namespace {

uint32_t field(const Bytes& image, uint32_t header, uint32_t offset) {
  return get32(image, header + offset);
}

}  // namespace

::testing::AssertionResult SameBytes(const char* actual_expr,
                                     const char* expected_expr,
                                     const Bytes& actual,
                                     const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() &&
         actual[at] == expected[at]) {
    ++at;
  }
  auto byte_at = [](const Bytes& bytes, size_t offset) {
    if (offset >= bytes.size()) return std::string("end");
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", bytes[offset]);
    return std::string(text);
  };
  char offset_text[32];
  std::snprintf(offset_text, sizeof offset_text, "0x%zX", at);
  return ::testing::AssertionFailure()
         << actual_expr << " (" << actual.size() << " bytes) differs from "
         << expected_expr << " (" << expected.size()
         << " bytes) first at offset " << offset_text << ": "
         << byte_at(actual, at) << " instead of " << byte_at(expected, at);
}

namespace {

constexpr uint32_t kOptSectionAlignment = 32;
constexpr uint32_t kOptSizeOfImage = 56;
constexpr uint32_t kOptCheckSum = 64;

// When the resource section needs more room in memory than its VirtualSize,
// the headers say so: VirtualSize and the directory size become R, the
// (discardable) sections above it move up far enough, and SizeOfImage covers
// every section.
void expect_truthful_headers(const testsupport::ResourceImage& input,
                             Bytes& image, uint32_t new_size,
                             bool virtual_size_changes, bool grown) {
  if (!virtual_size_changes && !grown) return;
  const uint32_t opt = input.image.optional_header_offset;
  const uint32_t section_alignment = get32(image, opt + kOptSectionAlignment);
  const uint32_t header =
      testsupport::section_header_offset(input.image, input.rsrc_index);
  const uint32_t rva = field(image, header, testsupport::kSecVirtualAddress);
  const uint16_t count = testsupport::get16(image, input.image.nt_offset + 6);
  if (virtual_size_changes) {
    put32(image, header + testsupport::kSecVirtualSize, new_size);
    put32(image, input.image.data_directory_offset + 2 * 8 + 4, new_size);
    const uint32_t new_end = rva + round_up(new_size, section_alignment);
    uint32_t lowest = UINT32_MAX;
    for (uint16_t i = 0; i < count; ++i) {
      const uint32_t other = testsupport::section_header_offset(input.image, i);
      const uint32_t address =
          field(image, other, testsupport::kSecVirtualAddress);
      if (address > rva) lowest = std::min(lowest, address);
    }
    if (lowest != UINT32_MAX && new_end > lowest) {
      const uint32_t shift = round_up(new_end - lowest, section_alignment);
      for (uint16_t i = 0; i < count; ++i) {
        const uint32_t other =
            testsupport::section_header_offset(input.image, i);
        const uint32_t address =
            field(image, other, testsupport::kSecVirtualAddress);
        if (address > rva) {
          put32(image, other + testsupport::kSecVirtualAddress,
                address + shift);
        }
      }
    }
  }
  uint32_t end = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t other = testsupport::section_header_offset(input.image, i);
    end = std::max(end, field(image, other, testsupport::kSecVirtualAddress) +
                            field(image, other, testsupport::kSecVirtualSize));
  }
  const uint32_t size_of_image = get32(image, opt + kOptSizeOfImage);
  put32(image, opt + kOptSizeOfImage,
        std::max(size_of_image, round_up(end, section_alignment)));
}

// A stated checksum is recomputed for the new contents; zero stays zero.
void expect_checksum(const testsupport::ResourceImage& input, Bytes& file) {
  const uint32_t at = input.image.optional_header_offset + kOptCheckSum;
  if (get32(file, at) == 0) return;
  put32(file, at, testsupport::reference_checksum(file, at));
}

}  // namespace

ExpectedImage expected_output(const testsupport::ResourceImage& input,
                              const Repack& repack) {
  ExpectedImage expected;
  Bytes image = input.image.bytes;
  const uint32_t header =
      testsupport::section_header_offset(input.image, input.rsrc_index);
  const uint32_t rva = field(image, header, testsupport::kSecVirtualAddress);
  const uint32_t raw = field(image, header, testsupport::kSecPointerToRawData);
  const uint32_t raw_size =
      field(image, header, testsupport::kSecSizeOfRawData);
  const uint32_t virtual_size =
      field(image, header, testsupport::kSecVirtualSize);
  const uint32_t alignment =
      get32(image, input.image.optional_header_offset + 36);

  // The data area: every item at a 16-byte step, zeros between.
  Bytes area;
  for (size_t k = 0; k < repack.items.size(); ++k) {
    const uint32_t entry = raw + repack.data_entry_offsets[k];
    put32(image, entry,
          rva + repack.prefix_size + static_cast<uint32_t>(area.size()));
    put32(image, entry + 4, static_cast<uint32_t>(repack.items[k].size()));
    area.insert(area.end(), repack.items[k].begin(), repack.items[k].end());
    testsupport::pad_to(area, 16);
  }
  const uint32_t used = static_cast<uint32_t>(area.size());
  const uint32_t new_size =
      (repack.prefix_size + used + alignment - 1) & ~(alignment - 1);
  expected.new_raw_size = new_size;

  if (new_size <= raw_size) {
    std::copy(area.begin(), area.end(),
              image.begin() + raw + repack.prefix_size);
    std::fill(image.begin() + raw + repack.prefix_size + used,
              image.begin() + raw + new_size, 0);
    expect_truthful_headers(input, image, new_size,
                            repack.prefix_size + used > virtual_size, false);
    expected.bytes = image;
    expect_checksum(input, expected.bytes);
    return expected;
  }

  expected.grown = true;
  expected.delta = new_size - raw_size;
  put32(image, header + testsupport::kSecSizeOfRawData, new_size);
  expect_truthful_headers(input, image, new_size, virtual_size < new_size,
                          true);
  const uint16_t count = testsupport::get16(image, input.image.nt_offset + 6);
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t other = testsupport::section_header_offset(input.image, i);
    const uint32_t pointer =
        field(image, other, testsupport::kSecPointerToRawData);
    if (pointer > raw) {
      put32(image, other + testsupport::kSecPointerToRawData,
            pointer + expected.delta);
    }
  }
  Bytes& out = expected.bytes;
  out.assign(image.begin(), image.begin() + raw + repack.prefix_size);
  out.insert(out.end(), area.begin(), area.end());
  out.resize(out.size() + (new_size - repack.prefix_size - used), 0);
  const uint64_t old_end = uint64_t{raw} + raw_size;
  if (old_end < image.size()) {
    out.insert(out.end(), image.begin() + old_end, image.end());
  }
  expect_checksum(input, out);
  return expected;
}

uint32_t builder_prefix_size(const testsupport::BuiltResources& resources) {
  uint32_t end = std::max(resources.directory_end, resources.data_entries_end);
  if (resources.strings_end > resources.directory_end) {
    end = std::max(end, resources.strings_end + 2);
  }
  return round_up(end, 16);
}

Repack repack_of(const testsupport::ResourceImage& input,
                 const std::vector<std::pair<size_t, Bytes>>& rewritten) {
  Repack repack;
  repack.prefix_size = builder_prefix_size(input.resources);
  repack.data_entry_offsets = input.resources.data_entry_offsets;
  repack.items = input.resources.items;
  for (const auto& [index, bytes] : rewritten) repack.items[index] = bytes;
  return repack;
}

void E2eTest::write(const std::string& name, const Bytes& bytes) {
  ASSERT_TRUE(testsupport::write_file(path(name), bytes)) << name;
}

Bytes E2eTest::read(const std::string& name) const {
  std::optional<Bytes> bytes = testsupport::read_file(path(name));
  EXPECT_TRUE(bytes.has_value()) << name << " is missing";
  return bytes.value_or(Bytes{});
}

bool E2eTest::exists(const std::string& name) const {
  return testsupport::file_exists(path(name));
}

std::vector<std::string> E2eTest::files() const {
  return testsupport::list_directory(dir.path);
}

void E2eTest::clear() {
  for (const std::string& name : files()) std::remove(path(name).c_str());
}

testsupport::RunResult E2eTest::run(const std::vector<std::string>& args,
                                    testsupport::RunOptions options) {
  if (options.cwd.empty()) options.cwd = dir.path;
#ifdef UITRANS_RUNNER
  // The Windows program, run by wine in its own prefix. Arguments and file
  // names reach it converted from UTF-8.
  setenv("WINEPREFIX", UITRANS_WINEPREFIX, 1);
  setenv("WINEDEBUG", "-all", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  std::vector<std::string> runner_args = {UITRANS_BINARY};
  runner_args.insert(runner_args.end(), args.begin(), args.end());
  testsupport::RunResult result =
      testsupport::run_program(UITRANS_RUNNER, runner_args, options);
#else
  testsupport::RunResult result =
      testsupport::run_program(UITRANS_BINARY, args, options);
#endif
  EXPECT_TRUE(result.exited) << "the tool did not exit normally";
  if (!options.allow_stderr) {
    EXPECT_EQ(result.err, "") << "nothing belongs on standard error";
  }
  return result;
}

testsupport::Bytes sample_menu(const std::u16string& open_text,
                               const std::u16string& about_text) {
  using testsupport::MenuItem;
  return testsupport::make_menu({
      MenuItem{
          u"&File",
          0,
          {MenuItem{open_text, 100, {}, 0}, MenuItem{u"E&xit", 101, {}, 0}},
          0},
      MenuItem{u"&Help", 0, {MenuItem{about_text, 200, {}, 0}}, 0},
  });
}

testsupport::ResourceTreeSpec one_menu_tree(const Bytes& menu) {
  using namespace testsupport;
  Bytes strings;
  append16(strings, 5);
  append_text(strings, u"&Open");  // a menu text outside a menu: kept
  for (int i = 0; i < 15; ++i) append16(strings, 0);
  ResourceTreeSpec tree;
  tree.types.push_back({rid(4), {{rid(1), {{0x409, menu, 1252}}}}});
  tree.types.push_back({rid(6), {{rid(1), {{0x409, strings, 1252}}}}});
  return tree;
}

}  // namespace e2e
