// SPDX-License-Identifier: MIT
// Dialog template rewriting, classic and extended. Every rewritten template
// is read back with the test support's template reader, which follows what
// real dialog loaders read, and compared field by field with the expected
// dialog.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/dialog_template.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

using Dialog = testsupport::DialogSpec;
using Control = testsupport::DialogControl;
using testsupport::kDsFixedSys;
using testsupport::kDsSetFont;
using testsupport::make_dialog;
using testsupport::ordinal_field;
using testsupport::text_field;

Bytes list_of(const Pairs& pairs) { return testsupport::make_pair_list(pairs); }

struct Rewritten {
  uitrans::Message status = uitrans::Message::none;
  Bytes bytes;
  int32_t replaced = 0;
};

// Rewrites `item` as the only content of an image buffer, followed by
// `trailing` bytes that belong to the image but not to the item.
Rewritten rewrite(const Bytes& item, const Pairs& pairs,
                  const Bytes& trailing = {}) {
  uitrans::ReplacementTable table;
  Bytes list = list_of(pairs);
  EXPECT_EQ(uitrans::parse_replacement_list(
                uitrans::ByteSpan{list.data(), list.size()}, &table),
            uitrans::ListLoadStatus::ok);
  Bytes image = item;
  image.insert(image.end(), trailing.begin(), trailing.end());
  uitrans::RebuildOutput output;
  uitrans::reserve_output(&output, item.size() + uitrans::kItemHeadroom);
  Rewritten result;
  uitrans::ItemContext context;
  context.item.image = uitrans::ByteSpan{image.data(), image.size()};
  context.item.offset = 0;
  context.item.size = static_cast<uint32_t>(item.size());
  context.table = &table;
  context.output = &output;
  context.replaced_count = &result.replaced;
  uint32_t new_size = 0;
  result.status = uitrans::rewrite_dialog(context, &new_size).message;
  if (result.status == uitrans::Message::none) {
    result.bytes.assign(output.data, output.data + new_size);
  }
  uitrans::release_output(&output);
  return result;
}

Dialog sample_dialog(bool extended) {
  Dialog dialog;
  dialog.extended = extended;
  dialog.style = 0x80C80000 | kDsSetFont;
  dialog.title = u"Settings";
  dialog.typeface = u"MS Shell Dlg";
  dialog.controls = {
      Control{
          0x50000000, 100, ordinal_field(0x0082), text_field(u"Name:"), 0, {}},
      Control{0x50010000,
              101,
              text_field(u"MyEdit"),
              text_field(u"Settings"),
              0,
              {}},
      Control{0x50010001, 1, ordinal_field(0x0080), text_field(u"OK"), 0, {}},
  };
  return dialog;
}

void expect_rewrite(const Dialog& input, const Pairs& pairs,
                    const Dialog& expected, int32_t expected_count) {
  Rewritten result = rewrite(make_dialog(input), pairs);
  ASSERT_EQ(result.status, uitrans::Message::none);
  Dialog got;
  std::string error;
  ASSERT_TRUE(testsupport::read_dialog(result.bytes.data(), result.bytes.size(),
                                       &got, &error))
      << error;
  EXPECT_EQ(got, expected);
  EXPECT_EQ(result.replaced, expected_count);
  EXPECT_EQ(result.bytes, make_dialog(expected));
}

class BothLayouts : public testing::TestWithParam<bool> {};

TEST_P(BothLayouts, TitlesOfEveryLengthChangeKeepControlsAligned) {
  // Growth by odd and even numbers of units, and shrinking.
  for (const std::u16string& replacement :
       {std::u16string(u"Einstellungen"), std::u16string(u"Optionen!"),
        std::u16string(u"Opts"), std::u16string(u"Réglages")}) {
    Dialog input = sample_dialog(GetParam());
    Dialog expected = input;
    expected.title = replacement;
    expected.controls[1].title = text_field(replacement);
    expect_rewrite(input, {{u"Settings", replacement}}, expected, 2);
  }
}

TEST_P(BothLayouts, TypefaceIsReplacedAndFontFieldsCopied) {
  Dialog input = sample_dialog(GetParam());
  input.point_size = 9;
  if (input.extended) {  // classic fonts have a point size only
    input.weight = 700;
    input.italic = 1;
    input.charset = 0xEE;
  }
  Dialog expected = input;
  expected.typeface = u"Tahoma";
  expect_rewrite(input, {{u"MS Shell Dlg", u"Tahoma"}}, expected, 1);
}

TEST_P(BothLayouts, ClassAndMenuNamesAreNeverReplaced) {
  Dialog input = sample_dialog(GetParam());
  input.menu = text_field(u"MainMenu");
  input.window_class = text_field(u"MyDialogClass");
  expect_rewrite(input,
                 {{u"MainMenu", u"Other"},
                  {u"MyDialogClass", u"Other"},
                  {u"MyEdit", u"Other"}},
                 input, 0);
}

TEST_P(BothLayouts, OrdinalTitleIsCopiedEvenWhenItSpellsAFindText) {
  Dialog input = sample_dialog(GetParam());
  // 0xFFFF, 'X' followed by a zero count would read as the text "\xFFFFX".
  input.controls[0].title = ordinal_field(u'X');
  expect_rewrite(input, {{u"\xFFFFX", u"Replaced"}}, input, 0);
}

TEST_P(BothLayouts, MessageBoxFontEndsTheHeader) {
  // Point size 0x7FFF: no weight, italic, charset or typeface follow, so the
  // text right behind it is the first control, not a typeface.
  Dialog input = sample_dialog(GetParam());
  input.point_size = 0x7FFF;
  input.typeface.clear();
  Dialog expected = input;
  expected.title = u"Optionen";
  expected.controls[1].title = text_field(u"Optionen");
  expect_rewrite(input, {{u"Settings", u"Optionen"}}, expected, 2);
}

TEST_P(BothLayouts, FixedSysWithoutSetFontCarriesNoFont) {
  Dialog input = sample_dialog(GetParam());
  input.style = (input.style & ~kDsSetFont) | kDsFixedSys;
  input.typeface.clear();
  Dialog expected = input;
  expected.title = u"Optionen";
  expected.controls[1].title = text_field(u"Optionen");
  expected.controls[0].title = text_field(u"Nom :");
  expect_rewrite(input, {{u"Settings", u"Optionen"}, {u"Name:", u"Nom :"}},
                 expected, 3);
}

TEST_P(BothLayouts, NoControlsRewritesOnlyTheHeader) {
  Dialog input = sample_dialog(GetParam());
  input.controls.clear();
  Dialog expected = input;
  expected.title = u"Optionen";
  expect_rewrite(input, {{u"Settings", u"Optionen"}}, expected, 1);
}

TEST_P(BothLayouts, TemplateShorterThanItsCountStopsAtItsEnd) {
  Dialog input = sample_dialog(GetParam());
  input.declared_controls = 7;
  Dialog expected = input;
  expected.title = u"Optionen";
  expected.controls[1].title = text_field(u"Optionen");
  Rewritten result = rewrite(make_dialog(input), {{u"Settings", u"Optionen"}});
  ASSERT_EQ(result.status, uitrans::Message::none);
  EXPECT_EQ(result.bytes, make_dialog(expected));
  EXPECT_EQ(result.replaced, 2);
}

TEST_P(BothLayouts, TemplateRunningPastTheImageIsInvalid) {
  Bytes item = make_dialog(sample_dialog(GetParam()));
  // Cut inside the last control's title: its text never ends.
  item.resize(item.size() - 6);
  Rewritten result = rewrite(item, {{u"Settings", u"Optionen"}});
  EXPECT_EQ(result.status, uitrans::Message::not_valid);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, BothLayouts, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Extended" : "Classic";
                         });

// Creation data: the count unit W and the units after it.
struct CreationCase {
  const char* name;
  bool extended;
  uint16_t count;
  std::vector<uint16_t> data;
  Pairs pairs;
  uint16_t expected_count;
  std::vector<uint16_t> expected_data;
  int32_t expected_replaced;
};

constexpr uint16_t A = 'A', B = 'B', C = 'C', X = 'X', Y = 'Y', P = 'P',
                   Q = 'Q', R = 'R';

const CreationCase kCreationCases[] = {
    {"ExtendedOddNoHit", true, 5, {A, B, C}, {}, 5, {A, B, C}, 0},
    {"ClassicOddNoHit", false, 5, {A, B}, {}, 5, {A, B}, 0},
    {"ClassicEvenNoHit", false, 6, {A, B}, {}, 6, {A, B}, 0},
    {"ClassicOneIsEmpty", false, 1, {}, {}, 1, {}, 0},
    {"ClassicTwoIsEmpty", false, 2, {}, {}, 2, {}, 0},
    {"ExtendedZeroIsEmpty", true, 0, {}, {}, 0, {}, 0},
    {"ExtendedHitGrows",
     true,
     8,
     {X, Y, 0, C},
     {{u"XY", u"PQR"}},
     10,
     {P, Q, R, 0, C},
     1},
    {"ExtendedOddHitKeepsOddByte",
     true,
     7,
     {X, Y, 0, C},
     {{u"XY", u"PQR"}},
     9,
     {P, Q, R, 0, C},
     1},
    {"ClassicHitGrows",
     false,
     8,
     {X, Y, 0},
     {{u"XY", u"PQR"}},
     10,
     {P, Q, R, 0},
     1},
    {"ClassicOddHitKeepsOddByte",
     false,
     9,
     {A, X, Y, 0},
     {{u"XY", u"PQR"}},
     11,
     {A, P, Q, R, 0},
     1},
    {"HitShrinks",
     true,
     10,
     {A, B, C, X, 0},
     {{u"BCX", u"PQ"}},
     8,
     {A, P, Q, 0},
     1},
    {"TailOfATextMatches",
     true,
     8,
     {A, X, Y, 0},
     {{u"XY", u"PQR"}},
     10,
     {A, P, Q, R, 0},
     1},
    {"AdjacentHits",
     true,
     12,
     {X, Y, 0, X, Y, 0},
     {{u"XY", u"PQR"}},
     16,
     {P, Q, R, 0, P, Q, R, 0},
     2},
    // The terminator would be the next control's first unit: not applied.
    {"TerminatorPastTheData", true, 4, {X, Y}, {{u"XY", u"PQR"}}, 4, {X, Y}, 0},
    {"ClassicTerminatorPastTheData",
     false,
     6,
     {X, Y},
     {{u"XY", u"PQR"}},
     6,
     {X, Y},
     0},
};

class CreationData : public testing::TestWithParam<CreationCase> {};

TEST_P(CreationData, CountIsRecomputedForTheNewLength) {
  const CreationCase& c = GetParam();
  Dialog input;
  input.extended = c.extended;
  input.style = 0x80C00000;
  input.title = u"T";
  input.controls = {
      Control{0x50000000, 7, ordinal_field(0x0080), text_field(u"Go"), c.count,
              c.data},
      // A second control whose fixed part starts with zero units, so a find
      // text that ends the first control's data is followed by a zero.
      Control{0, 8, ordinal_field(0x0082), text_field(u"Next"), 0, {}},
  };
  Dialog expected = input;
  expected.controls[0].data_count = c.expected_count;
  expected.controls[0].data = c.expected_data;
  Rewritten result = rewrite(make_dialog(input), c.pairs);
  ASSERT_EQ(result.status, uitrans::Message::none);
  EXPECT_EQ(result.bytes, make_dialog(expected));
  EXPECT_EQ(result.replaced, c.expected_replaced);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, CreationData,
                         testing::ValuesIn(kCreationCases),
                         [](const testing::TestParamInfo<CreationCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(CreationDataCount, WrapsAtSixteenBits) {
  // 0xFFFE bytes of data whose first text grows by 8 units: the count wraps.
  std::vector<uint16_t> data(0x7FFF, A);
  data[0] = X;
  data[1] = Y;
  data[2] = 0;
  Dialog input;
  input.extended = true;
  input.style = 0x80C00000;
  input.controls = {
      Control{0, 1, ordinal_field(0x0081), text_field(u""), 0xFFFE, data}};
  Dialog expected = input;
  std::vector<uint16_t> expected_data = {P, Q, R, P, Q, R, P, Q, R, P, 0};
  expected_data.insert(expected_data.end(), data.begin() + 3, data.end());
  expected.controls[0].data = expected_data;
  expected.controls[0].data_count =
      static_cast<uint16_t>(0xFFFE + 2 * 8);  // wraps to 14
  Rewritten result =
      rewrite(make_dialog(input), {{u"XY", u"PQRPQRPQRP"}}, Bytes{0, 0});
  ASSERT_EQ(result.status, uitrans::Message::none);
  EXPECT_EQ(result.bytes, make_dialog(expected));
  EXPECT_EQ(expected.controls[0].data_count, 14);
}

TEST(DialogTitles, OnlyWholeTitlesMatch) {
  Dialog input = sample_dialog(false);
  // "Set" is a prefix and "ttings" a tail of the title: neither matches.
  expect_rewrite(input, {{u"Set", u"Xyz"}, {u"ttings", u"Xyz"}}, input, 0);
}

TEST(DialogTitles, TitleStartingWithFfffIsStillAText) {
  Dialog input = sample_dialog(true);
  input.title =
      u"\xFFFF"
      u"AB";
  Dialog expected = input;
  expected.title = u"Replaced";
  expect_rewrite(input,
                 {{u"\xFFFF"
                   u"AB",
                   u"Replaced"}},
                 expected, 1);
}

}  // namespace
