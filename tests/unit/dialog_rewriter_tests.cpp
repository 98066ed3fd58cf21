// Dialog template rewriting, classic and extended. Every rewritten template
// is read back with this file's own template reader, which follows what real
// dialog loaders read (font fields only with DS_SETFONT, nothing after a
// 0x7FFF point size, controls on 4-byte boundaries, creation data sized by
// its count), and compared field by field with the expected dialog.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/pe_builder.h"

namespace {

using testsupport::append16;
using testsupport::append32;
using testsupport::append_text;
using testsupport::Bytes;
using testsupport::pad_to;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

constexpr uint32_t kSetFont = 0x40;
constexpr uint32_t kFixedSys = 0x08;

// A menu, class or control title field: an ordinal or a text.
struct Field {
  bool ordinal = false;
  uint16_t value = 0;
  std::u16string text;
  bool operator==(const Field&) const = default;
};

Field ordinal(uint16_t value) { return Field{true, value, u""}; }
Field text(const std::u16string& value) { return Field{false, 0, value}; }

struct Control {
  uint32_t style = 0x50000000;
  uint32_t id = 1;
  Field window_class = ordinal(0x0080);
  Field title = text(u"");
  uint16_t data_count = 0;     // W as stored
  std::vector<uint16_t> data;  // the creation data units
  bool operator==(const Control&) const = default;
};

struct Dialog {
  bool extended = false;
  uint32_t style = 0x80C00000;
  uint16_t declared_controls = 0xFFFF;  // 0xFFFF: controls.size()
  Field menu = text(u"");
  Field window_class = text(u"");
  std::u16string title;
  uint16_t point_size = 8;
  uint16_t weight = 400;
  uint8_t italic = 0;
  uint8_t charset = 1;
  std::u16string typeface;
  std::vector<Control> controls;
  bool operator==(const Dialog&) const = default;
};

void put_field(Bytes& bytes, const Field& field) {
  if (field.ordinal) {
    append16(bytes, 0xFFFF);
    append16(bytes, field.value);
  } else {
    append_text(bytes, field.text);
    append16(bytes, 0);
  }
}

bool has_font(const Dialog& dialog) { return (dialog.style & kSetFont) != 0; }

Bytes build_dialog(const Dialog& dialog) {
  Bytes bytes;
  uint16_t count = dialog.declared_controls != 0xFFFF
                       ? dialog.declared_controls
                       : static_cast<uint16_t>(dialog.controls.size());
  if (dialog.extended) {
    append16(bytes, 1);
    append16(bytes, 0xFFFF);
    append32(bytes, 0);  // help id
    append32(bytes, 0);  // extended style
    append32(bytes, dialog.style);
  } else {
    append32(bytes, dialog.style);
    append32(bytes, 0);
  }
  append16(bytes, count);
  for (uint16_t v : {10, 20, 200, 100}) append16(bytes, v);
  put_field(bytes, dialog.menu);
  put_field(bytes, dialog.window_class);
  put_field(bytes, text(dialog.title));
  if (has_font(dialog)) {
    append16(bytes, dialog.point_size);
    if (dialog.point_size != 0x7FFF) {
      if (dialog.extended) {
        append16(bytes, dialog.weight);
        bytes.push_back(dialog.italic);
        bytes.push_back(dialog.charset);
      }
      put_field(bytes, text(dialog.typeface));
    }
  }
  for (const Control& control : dialog.controls) {
    pad_to(bytes, 4);
    if (dialog.extended) {
      append32(bytes, 0);  // help id
      append32(bytes, 0);  // extended style
      append32(bytes, control.style);
    } else {
      append32(bytes, control.style);
      append32(bytes, 0);
    }
    for (uint16_t v : {5, 6, 50, 14}) append16(bytes, v);
    if (dialog.extended) {
      append32(bytes, control.id);
    } else {
      append16(bytes, static_cast<uint16_t>(control.id));
    }
    put_field(bytes, control.window_class);
    put_field(bytes, control.title);
    append16(bytes, control.data_count);
    for (uint16_t unit : control.data) append16(bytes, unit);
  }
  return bytes;
}

// Reads a template the way a dialog loader does; fails on anything a loader
// would misread: a misaligned control, a non-zero gap, a truncated field, or
// bytes left over at the end.
struct Reader {
  const Bytes& bytes;
  size_t pos = 0;
  std::string error;

  bool u16(uint16_t* out) {
    if (pos + 2 > bytes.size()) return fail("truncated");
    *out = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
    pos += 2;
    return true;
  }
  bool u32(uint32_t* out) {
    uint16_t low = 0;
    uint16_t high = 0;
    if (!u16(&low) || !u16(&high)) return false;
    *out = low | (uint32_t{high} << 16);
    return true;
  }
  bool string(std::u16string* out) {
    out->clear();
    for (uint16_t unit = 0;;) {
      if (!u16(&unit)) return false;
      if (unit == 0) return true;
      out->push_back(static_cast<char16_t>(unit));
    }
  }
  bool field(Field* out) {
    uint16_t first = 0;
    if (pos + 2 > bytes.size()) return fail("truncated field");
    first = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
    if (first == 0xFFFF) {
      pos += 2;
      out->ordinal = true;
      out->text.clear();
      return u16(&out->value);
    }
    out->ordinal = false;
    out->value = 0;
    return string(&out->text);
  }
  bool align() {
    while (pos % 4 != 0) {
      uint16_t gap = 0;
      if (!u16(&gap)) return false;
      if (gap != 0) return fail("non-zero alignment gap");
    }
    return true;
  }
  bool fail(const std::string& why) {
    error = why + " at byte " + std::to_string(pos);
    return false;
  }
};

bool read_dialog(const Bytes& bytes, Dialog* dialog, std::string* error) {
  Reader r{bytes, 0, {}};
  uint16_t unit = 0;
  uint32_t word = 0;
  uint16_t count = 0;
  *dialog = Dialog{};
  dialog->extended = bytes.size() >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFF;
  bool ok = true;
  if (dialog->extended) {
    ok = r.u16(&unit) && r.u16(&unit) && r.u32(&word) && r.u32(&word) &&
         r.u32(&dialog->style);
  } else {
    ok = r.u32(&dialog->style) && r.u32(&word);
  }
  ok = ok && r.u16(&count) && r.u16(&unit) && r.u16(&unit) && r.u16(&unit) &&
       r.u16(&unit) && r.field(&dialog->menu) &&
       r.field(&dialog->window_class) && r.string(&dialog->title);
  dialog->declared_controls = 0xFFFF;
  if (ok && has_font(*dialog)) {
    ok = r.u16(&dialog->point_size);
    if (ok && dialog->point_size != 0x7FFF) {
      if (dialog->extended) {
        ok = r.u16(&dialog->weight) && r.u16(&unit);
        dialog->italic = static_cast<uint8_t>(unit);
        dialog->charset = static_cast<uint8_t>(unit >> 8);
      }
      ok = ok && r.string(&dialog->typeface);
    }
  }
  if (!has_font(*dialog) || dialog->point_size == 0x7FFF) {
    Dialog defaults;
    if (!has_font(*dialog)) dialog->point_size = defaults.point_size;
    dialog->weight = defaults.weight;
    dialog->italic = defaults.italic;
    dialog->charset = defaults.charset;
  }
  for (uint16_t m = 0; ok && m < count && r.pos < bytes.size(); ++m) {
    Control control;
    ok = r.align();
    if (dialog->extended) {
      ok = ok && r.u32(&word) && r.u32(&word) && r.u32(&control.style);
    } else {
      ok = ok && r.u32(&control.style) && r.u32(&word);
    }
    ok = ok && r.u16(&unit) && r.u16(&unit) && r.u16(&unit) && r.u16(&unit);
    if (dialog->extended) {
      ok = ok && r.u32(&control.id);
    } else {
      ok = ok && r.u16(&unit);
      control.id = unit;
    }
    ok = ok && r.field(&control.window_class) && r.field(&control.title) &&
         r.u16(&control.data_count);
    // Classic counts include the count unit itself.
    uint16_t w = control.data_count;
    size_t data_bytes = dialog->extended ? w : (w > 2 ? w - 2 : 0);
    for (size_t i = 0; ok && i < (data_bytes + 1) / 2; ++i) {
      ok = r.u16(&unit);
      control.data.push_back(unit);
    }
    dialog->controls.push_back(control);
  }
  if (ok && r.pos != bytes.size()) r.fail("bytes left over");
  *error = r.error;
  return r.error.empty();
}

Bytes list_of(const Pairs& pairs) { return testsupport::make_pair_list(pairs); }

struct Rewritten {
  uitrans::RebuildStatus status = uitrans::RebuildStatus::ok;
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
  context.image = uitrans::ByteSpan{image.data(), image.size()};
  context.item_offset = 0;
  context.size = static_cast<uint32_t>(item.size());
  context.table = &table;
  context.output = &output;
  context.replaced_count = &result.replaced;
  uint32_t new_size = 0;
  result.status = uitrans::rewrite_dialog(context, &new_size);
  if (result.status == uitrans::RebuildStatus::ok) {
    result.bytes.assign(output.data, output.data + new_size);
  }
  uitrans::release_output(&output);
  return result;
}

Dialog sample_dialog(bool extended) {
  Dialog dialog;
  dialog.extended = extended;
  dialog.style = 0x80C80000 | kSetFont;
  dialog.title = u"Settings";
  dialog.typeface = u"MS Shell Dlg";
  dialog.controls = {
      Control{0x50000000, 100, ordinal(0x0082), text(u"Name:"), 0, {}},
      Control{0x50010000, 101, text(u"MyEdit"), text(u"Settings"), 0, {}},
      Control{0x50010001, 1, ordinal(0x0080), text(u"OK"), 0, {}},
  };
  return dialog;
}

void expect_rewrite(const Dialog& input, const Pairs& pairs,
                    const Dialog& expected, int32_t expected_count) {
  Rewritten result = rewrite(build_dialog(input), pairs);
  ASSERT_EQ(result.status, uitrans::RebuildStatus::ok);
  Dialog got;
  std::string error;
  ASSERT_TRUE(read_dialog(result.bytes, &got, &error)) << error;
  EXPECT_EQ(got, expected);
  EXPECT_EQ(result.replaced, expected_count);
  EXPECT_EQ(result.bytes, build_dialog(expected));
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
    expected.controls[1].title = text(replacement);
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
  input.menu = text(u"MainMenu");
  input.window_class = text(u"MyDialogClass");
  expect_rewrite(input,
                 {{u"MainMenu", u"Other"},
                  {u"MyDialogClass", u"Other"},
                  {u"MyEdit", u"Other"}},
                 input, 0);
}

TEST_P(BothLayouts, OrdinalTitleIsCopiedEvenWhenItSpellsAFindText) {
  Dialog input = sample_dialog(GetParam());
  // 0xFFFF, 'X' followed by a zero count would read as the text "\xFFFFX".
  input.controls[0].title = ordinal(u'X');
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
  expected.controls[1].title = text(u"Optionen");
  expect_rewrite(input, {{u"Settings", u"Optionen"}}, expected, 2);
}

TEST_P(BothLayouts, FixedSysWithoutSetFontCarriesNoFont) {
  Dialog input = sample_dialog(GetParam());
  input.style = (input.style & ~kSetFont) | kFixedSys;
  input.typeface.clear();
  Dialog expected = input;
  expected.title = u"Optionen";
  expected.controls[1].title = text(u"Optionen");
  expected.controls[0].title = text(u"Nom :");
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
  expected.controls[1].title = text(u"Optionen");
  Rewritten result = rewrite(build_dialog(input), {{u"Settings", u"Optionen"}});
  ASSERT_EQ(result.status, uitrans::RebuildStatus::ok);
  EXPECT_EQ(result.bytes, build_dialog(expected));
  EXPECT_EQ(result.replaced, 2);
}

TEST_P(BothLayouts, TemplateRunningPastTheImageIsInvalid) {
  Bytes item = build_dialog(sample_dialog(GetParam()));
  // Cut inside the last control's title: its text never ends.
  item.resize(item.size() - 6);
  Rewritten result = rewrite(item, {{u"Settings", u"Optionen"}});
  EXPECT_EQ(result.status, uitrans::RebuildStatus::invalid_image);
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
      Control{0x50000000, 7, ordinal(0x0080), text(u"Go"), c.count, c.data},
      // A second control whose fixed part starts with zero units, so a find
      // text that ends the first control's data is followed by a zero.
      Control{0, 8, ordinal(0x0082), text(u"Next"), 0, {}},
  };
  Dialog expected = input;
  expected.controls[0].data_count = c.expected_count;
  expected.controls[0].data = c.expected_data;
  Rewritten result = rewrite(build_dialog(input), c.pairs);
  ASSERT_EQ(result.status, uitrans::RebuildStatus::ok);
  EXPECT_EQ(result.bytes, build_dialog(expected));
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
  input.controls = {Control{0, 1, ordinal(0x0081), text(u""), 0xFFFE, data}};
  Dialog expected = input;
  std::vector<uint16_t> expected_data = {P, Q, R, P, Q, R, P, Q, R, P, 0};
  expected_data.insert(expected_data.end(), data.begin() + 3, data.end());
  expected.controls[0].data = expected_data;
  expected.controls[0].data_count =
      static_cast<uint16_t>(0xFFFE + 2 * 8);  // wraps to 14
  Rewritten result =
      rewrite(build_dialog(input), {{u"XY", u"PQRPQRPQRP"}}, Bytes{0, 0});
  ASSERT_EQ(result.status, uitrans::RebuildStatus::ok);
  EXPECT_EQ(result.bytes, build_dialog(expected));
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
