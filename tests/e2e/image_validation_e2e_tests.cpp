// SPDX-License-Identifier: MIT
// Loading and validating executables: the size limit, the header checks in
// their order, the resource section search and the raw-data checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using testsupport::put16;
using testsupport::put32;
using testsupport::ResourceImage;

enum class Outcome { invalid, no_resource_section, replaced };

struct ImageCase {
  const char* label;
  bool pe32_plus;
  std::function<void(ResourceImage&)> change;
  Outcome outcome;
};

ResourceImage base_image(bool pe32_plus) {
  testsupport::ResourceImageOptions options;
  options.pe32_plus = pe32_plus;
  return testsupport::make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")), options);
}

uint32_t rsrc_header(const ResourceImage& image) {
  return testsupport::section_header_offset(image.image, image.rsrc_index);
}

void set_name(ResourceImage& image, size_t section, const char (&name)[9]) {
  const uint32_t header =
      testsupport::section_header_offset(image.image, section);
  for (int i = 0; i < 8; ++i) {
    image.image.bytes[header + i] = static_cast<uint8_t>(name[i]);
  }
}

uint32_t nt(const ResourceImage& image) { return image.image.nt_offset; }

const std::vector<ImageCase>& image_cases() {
  static const std::vector<ImageCase> cases = {
      {"63 bytes", false, [](ResourceImage& i) { i.image.bytes.resize(63); },
       Outcome::invalid},
      {"headers only up to the DOS header", false,
       [](ResourceImage& i) { i.image.bytes.resize(64); }, Outcome::invalid},
      {"negative e_lfanew", false,
       [](ResourceImage& i) { put32(i.image.bytes, 0x3C, 0xFFFFFF80u); },
       Outcome::invalid},
      {"e_lfanew of 2^31", false,
       [](ResourceImage& i) { put32(i.image.bytes, 0x3C, 0x80000000u); },
       Outcome::invalid},
      {"e_lfanew past the end", false,
       [](ResourceImage& i) {
         put32(i.image.bytes, 0x3C,
               static_cast<uint32_t>(i.image.bytes.size()) - 23);
       },
       Outcome::invalid},
      {"signature PE\\0\\1", false,
       [](ResourceImage& i) { i.image.bytes[nt(i) + 3] = 1; },
       Outcome::invalid},
      {"signature pe", false,
       [](ResourceImage& i) { i.image.bytes[nt(i)] = 'p'; }, Outcome::invalid},
      {"no DOS signature is fine", false,
       [](ResourceImage& i) {
         i.image.bytes[0] = 'X';
         i.image.bytes[1] = 'Y';
       },
       Outcome::replaced},
      {"optional header size 0", false,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 20, 0); },
       Outcome::invalid},
      {"PE32 optional header 223", false,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 20, 223); },
       Outcome::invalid},
      {"PE32 optional header 224", false, [](ResourceImage&) {},
       Outcome::replaced},
      {"PE32+ optional header 240", true, [](ResourceImage&) {},
       Outcome::replaced},
      {"PE32+ optional header 239", true,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 20, 239); },
       Outcome::invalid},
      {"PE32+ magic with a PE32-sized header", false,
       [](ResourceImage& i) {
         put16(i.image.bytes, i.image.optional_header_offset, 0x20B);
       },
       Outcome::invalid},
      {"ROM magic", false,
       [](ResourceImage& i) {
         put16(i.image.bytes, i.image.optional_header_offset, 0x107);
       },
       Outcome::invalid},
      {"optional header past the end", false,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 20, 0xFFFF); },
       Outcome::invalid},
      {"section table past the end", false,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 6, 0xFFFF); },
       Outcome::invalid},
      {"no sections", false,
       [](ResourceImage& i) { put16(i.image.bytes, nt(i) + 6, 0); },
       Outcome::no_resource_section},
      {"resource section renamed", false,
       [](ResourceImage& i) { set_name(i, 1, ".data\0\0\0"); },
       Outcome::no_resource_section},
      {"name .rsrc followed by two more bytes", false,
       [](ResourceImage& i) { set_name(i, 1, ".rsrc\0xy"); },
       Outcome::replaced},
      {"name .rsrcx", false,
       [](ResourceImage& i) { set_name(i, 1, ".rsrcx\0\0"); },
       Outcome::no_resource_section},
      {"name .RSRC", false,
       [](ResourceImage& i) { set_name(i, 1, ".RSRC\0\0\0"); },
       Outcome::no_resource_section},
      {"no resource section wins over a bad alignment", false,
       [](ResourceImage& i) {
         set_name(i, 1, ".data\0\0\0");
         put32(i.image.bytes, i.image.optional_header_offset + 36, 0);
       },
       Outcome::no_resource_section},
      {"raw data one byte past the end", false,
       [](ResourceImage& i) {
         const uint32_t h = rsrc_header(i);
         const uint32_t end = static_cast<uint32_t>(i.image.bytes.size());
         put32(i.image.bytes, h + 16,
               end - testsupport::get32(i.image.bytes, h + 20) + 1);
       },
       Outcome::invalid},
      {"raw data ending exactly at the end", false,
       [](ResourceImage& i) {
         const uint32_t h = rsrc_header(i);
         const uint32_t end = static_cast<uint32_t>(i.image.bytes.size());
         put32(i.image.bytes, h + 16,
               end - testsupport::get32(i.image.bytes, h + 20));
       },
       Outcome::replaced},
      {"raw data end wrapping around 32 bits", false,
       [](ResourceImage& i) {
         const uint32_t h = rsrc_header(i);
         put32(i.image.bytes, h + 16,
               0u - testsupport::get32(i.image.bytes, h + 20) + 0x10);
       },
       Outcome::invalid},
      {"file alignment 0", false,
       [](ResourceImage& i) {
         put32(i.image.bytes, i.image.optional_header_offset + 36, 0);
       },
       Outcome::invalid},
      {"file alignment 0x300", false,
       [](ResourceImage& i) {
         put32(i.image.bytes, i.image.optional_header_offset + 36, 0x300);
       },
       Outcome::invalid},
      {"file alignment 0x80000001", false,
       [](ResourceImage& i) {
         put32(i.image.bytes, i.image.optional_header_offset + 36, 0x80000001u);
       },
       Outcome::invalid},
      {"file alignment 0x10", false,
       [](ResourceImage& i) {
         put32(i.image.bytes, i.image.optional_header_offset + 36, 0x10);
       },
       Outcome::replaced},
  };
  return cases;
}

class ImageValidationTest : public E2eTest {};

TEST_F(ImageValidationTest, HeaderChecksTable) {
  write("list.txt", testsupport::make_pair_list({{u"&Open", u"&Load"}}));
  for (const ImageCase& c : image_cases()) {
    SCOPED_TRACE(c.label);
    for (const std::string& name : files()) {
      if (name != "list.txt") std::remove(path(name).c_str());
    }
    ResourceImage image = base_image(c.pe32_plus);
    c.change(image);
    write("app.exe", image.image.bytes);
    const testsupport::RunResult result = run({"list.txt", "app.exe"});
    EXPECT_EQ(result.status, 0);
    switch (c.outcome) {
      case Outcome::invalid:
        EXPECT_EQ(result.out, "app.exe is not a valid win32 executeable.\n");
        break;
      case Outcome::no_resource_section:
        EXPECT_EQ(result.out, "app.exe has no resource section.\n");
        break;
      case Outcome::replaced:
        EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
        break;
    }
    if (c.outcome == Outcome::replaced) {
      EXPECT_BYTES(read("app.exe.old"), image.image.bytes);
      EXPECT_BYTES(read("out.txt"), kOutTxt);
      const auto view = testsupport::read_resources(read("app.exe"));
      ASSERT_TRUE(view.has_value());
      const testsupport::ResourceKey menu{
          testsupport::rid(4), testsupport::rid(1), testsupport::rid(0x409)};
      EXPECT_EQ(view->items.at(menu), sample_menu(u"&Load", u"&About"));
    } else {
      EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "list.txt"}));
      EXPECT_BYTES(read("app.exe"), image.image.bytes);
    }
  }
}

TEST_F(ImageValidationTest, FirstOfTwoResourceSectionsIsUsed) {
  using namespace testsupport;
  // Two sections named .rsrc: each holds a menu with a different text.
  const BuiltResources first =
      build_resources(one_menu_tree(sample_menu(u"&Open", u"&About")), 0x2000);
  const BuiltResources second =
      build_resources(one_menu_tree(sample_menu(u"&Print", u"&About")), 0x3000);
  ImageSpec spec;
  spec.sections.push_back({".text", 0x1000, 0x10, Bytes(0x10, 0xCC), kCode});
  spec.sections.push_back({".rsrc", 0x2000, 0, first.bytes, kInitializedData});
  spec.sections.push_back({".rsrc", 0x3000, 0, second.bytes, kInitializedData});
  const BuiltImage image = build_image(spec);
  write("app.exe", image.bytes);

  write("list.txt", make_pair_list({{u"&Print", u"&Drucken"}}));
  testsupport::RunResult result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), image.bytes);

  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  const auto view = read_resources(read("app.exe"));
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->items.at({rid(4), rid(1), rid(0x409)}),
            sample_menu(u"&Load", u"&About"));
  // The second section's bytes are where they were.
  const Bytes output = read("app.exe");
  ASSERT_EQ(output.size(), image.bytes.size());
  EXPECT_TRUE(std::equal(image.bytes.begin() + image.raw_pointers[2],
                         image.bytes.end(),
                         output.begin() + image.raw_pointers[2]));
}

// Sparse files: the limit is on the file size, the bytes need not exist.
class SizeLimitTest : public E2eTest {};

TEST_F(SizeLimitTest, ExactlyFiveHundredMebibytesIsReadOneMoreIsNot) {
  testsupport::ResourceImageOptions options;
  options.with_reloc = false;
  ResourceImage image = testsupport::make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")), options);
  write("limit.exe", image.image.bytes);
  write("over.exe", image.image.bytes);
  ASSERT_EQ(truncate(path("limit.exe").c_str(), 524288000), 0);
  ASSERT_EQ(truncate(path("over.exe").c_str(), 524288001), 0);
  write("list.txt", testsupport::make_pair_list({{u"&Nothing", u"&Else"}}));

  const testsupport::RunResult result =
      run({"list.txt", "over.exe", "limit.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "over.exe too big.\n"
            "No strings found to replace in limit.exe.\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"limit.exe", "list.txt",
                                               "out.txt", "over.exe"}));
  struct stat st;
  ASSERT_EQ(stat(path("limit.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 524288000);
  ASSERT_EQ(stat(path("over.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 524288001);
}

}  // namespace
}  // namespace e2e
