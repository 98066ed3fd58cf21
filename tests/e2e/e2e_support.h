// SPDX-License-Identifier: MIT
// Shared pieces of the end-to-end tests: running the built binary in a
// temporary directory, and the expected output image computed from the
// repacking rules (independently of the tool's sources).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/image_reader.h"
#include "support/pe_builder.h"

namespace e2e {

using testsupport::Bytes;

inline const Bytes kOutTxt = {0xFF, 0xFE};

// True when the tests run the Windows program under wine rather than the
// POSIX one; the few cases that rest on POSIX-only means skip themselves.
#ifdef UITRANS_RUNNER
inline constexpr bool kWindowsProgram = true;
#else
inline constexpr bool kWindowsProgram = false;
#endif

// Byte-for-byte comparison that names the first differing offset.
::testing::AssertionResult SameBytes(const char* actual_expr,
                                     const char* expected_expr,
                                     const Bytes& actual,
                                     const Bytes& expected);
#define EXPECT_BYTES(actual, expected) \
  EXPECT_PRED_FORMAT2(::e2e::SameBytes, actual, expected)

// What the repacking does to one image: the data entries in walk order and
// their rewritten items.
struct Repack {
  uint32_t prefix_size = 0;
  std::vector<uint32_t> data_entry_offsets;  // from the resource root
  std::vector<Bytes> items;                  // rewritten, in walk order
};

struct ExpectedImage {
  Bytes bytes;
  bool grown = false;
  uint32_t new_raw_size = 0;  // R
  uint32_t delta = 0;
};

// The image written by the tool: items behind the prefix at 16-byte steps,
// then either the same layout or a grown resource section.
ExpectedImage expected_output(const testsupport::ResourceImage& input,
                              const Repack& repack);

// The prefix size of a tree made by the builder: the end of its tables,
// name strings (plus two bytes) and data entries, rounded up to 16.
uint32_t builder_prefix_size(const testsupport::BuiltResources& resources);

// A Repack for a builder-made tree whose items are rewritten as given
// (items not in `rewritten` are kept as they are).
Repack repack_of(const testsupport::ResourceImage& input,
                 const std::vector<std::pair<size_t, Bytes>>& rewritten);

class E2eTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;

  std::string path(const std::string& name) const { return dir.file(name); }
  void write(const std::string& name, const Bytes& bytes);
  Bytes read(const std::string& name) const;
  bool exists(const std::string& name) const;
  std::vector<std::string> files() const;
  void clear();  // removes every file of the directory
  testsupport::RunResult run(const std::vector<std::string>& args,
                             testsupport::RunOptions options = {});
};

// Convenience: a classic menu item template for a small application.
testsupport::Bytes sample_menu(const std::u16string& open_text,
                               const std::u16string& about_text);

// A tree with the menu (type 4, id 1, language 0x409) first in walk order
// and a string table block (type 6) second.
testsupport::ResourceTreeSpec one_menu_tree(const Bytes& menu);
inline constexpr size_t kMenuItem = 0;

// A small application with one menu, and the image after "&Open" became
// "&Load".
class AppTest : public E2eTest {
 protected:
  testsupport::ResourceImage app = testsupport::make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"&About")));
  Bytes app_after =
      expected_output(
          app, repack_of(app, {{kMenuItem, sample_menu(u"&Load", u"&About")}}))
          .bytes;
};

}  // namespace e2e
