// SPDX-License-Identifier: MIT
// Dialog base units and text widths from the generated font tables,
// against what Windows reports at 96 DPI.
#include <gtest/gtest.h>

#include "resources/text_width.h"

namespace {

using uitrans::DialogFont;
using uitrans::DialogMetrics;

DialogFont font(const char16_t* typeface, uint16_t points,
                uint16_t weight = 400) {
  DialogFont f;
  f.system_font = false;
  f.point_size = points;
  f.weight = weight;
  f.typeface = typeface;
  return f;
}

struct BaseUnitsCase {
  const char16_t* typeface;
  uint16_t points;
  uint16_t weight;
  int base_x;
  int base_y;
};

// Known values: GetDialogBaseUnits-style results of dialogs in these fonts
// on Windows at 96 DPI (MS Shell Dlg 8 is the common 6x13).
TEST(DialogMetrics, BaseUnitsAsWindowsDerivesThem) {
  const BaseUnitsCase cases[] = {
      {u"MS Shell Dlg", 8, 400, 6, 13},  {u"MS Shell Dlg 2", 8, 400, 6, 13},
      {u"Tahoma", 8, 400, 6, 13},        {u"ms shell dlg", 8, 400, 6, 13},
      {u"MS Sans Serif", 8, 400, 6, 13}, {u"Tahoma", 8, 700, 7, 13},
      {u"Tahoma", 10, 400, 7, 16},
  };
  for (const BaseUnitsCase& c : cases) {
    DialogMetrics m =
        uitrans::dialog_metrics(font(c.typeface, c.points, c.weight));
    EXPECT_EQ(m.base_x, c.base_x) << c.points;
    EXPECT_EQ(m.base_y, c.base_y) << c.points;
    EXPECT_FALSE(m.estimate);
  }
}

TEST(DialogMetrics, SystemFontIsEightBySixteen) {
  DialogMetrics m = uitrans::dialog_metrics(DialogFont{});
  EXPECT_EQ(m.base_x, 8);
  EXPECT_EQ(m.base_y, 16);
  EXPECT_TRUE(m.estimate);
}

TEST(DialogMetrics, UnknownTypefaceIsMeasuredAsTahomaAndFlagged) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Segoe UI", 8));
  EXPECT_TRUE(m.estimate);
  EXPECT_EQ(m.base_x, 6);
  EXPECT_EQ(m.base_y, 13);
}

struct DrawnCase {
  const char16_t* typeface;
  uint16_t points;
  uint16_t weight;
  const char16_t* text;
  int px;
};

// Widths as GetTextExtentPoint32W gives them under wine with these fonts:
// hinted advances, several a pixel off the scaled widths (K is 6.4 px
// scaled, drawn 7), and a glyph the font lacks drawn as its missing-glyph
// box, an em wide.
TEST(TextWidth, AsTheRasteriserDrawsThem) {
  const DrawnCase cases[] = {
      {u"MS Shell Dlg", 8, 400, u"OK", 15},
      {u"MS Shell Dlg", 8, 400, u"Cancel", 37},
      {u"MS Shell Dlg", 8, 400, u"\u013C", 11},
      {u"MS Shell Dlg", 8, 400, u"\u0416", 10},
      {u"Tahoma", 8, 700, u"Cancel", 39},
      {u"Tahoma", 10, 400, u"Cancel", 40},
      {u"Tahoma", 12, 400, u"Schlie\u00DFen", 71},
      {u"Arial", 8, 400, u"Cancel", 34},
      {u"Arial", 8, 400, u"\u1E7D", 6},
      {u"Arial", 12, 700, u"Abbrechen", 85},
  };
  for (const DrawnCase& c : cases) {
    DialogMetrics m =
        uitrans::dialog_metrics(font(c.typeface, c.points, c.weight));
    EXPECT_EQ(uitrans::line_width_px(m, c.text), c.px)
        << c.points << " " << c.weight;
  }
}

TEST(TextWidth, DialogUnits) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"MS Shell Dlg", 8));
  // 14 px at 6 px per 4 DU: 9.33, and round(10 * 6 / 4) = 15 >= 14 while
  // round(9 * 6 / 4) = 14 holds it too.
  EXPECT_EQ(uitrans::du_for_px_x(m, 14), 9);
  EXPECT_EQ(uitrans::du_for_px_x(m, 15), 10);
  EXPECT_EQ(uitrans::du_for_px_x(m, 0), 0);
  EXPECT_EQ(uitrans::px_of_du_x(m, 50), 75);
  EXPECT_EQ(uitrans::px_of_du_y(m, 14), 23);
}

TEST(TextWidth, MnemonicsAreNotDrawn) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Tahoma", 8));
  int ok = uitrans::line_width_px(m, u"OK");
  int amp = uitrans::char_width_px(m, U'&');
  EXPECT_EQ(uitrans::line_width_px(m, u"&OK"), ok);
  EXPECT_EQ(uitrans::line_width_px(m, u"O&K"), ok);
  EXPECT_EQ(uitrans::line_width_px(m, u"O&&K"), ok + amp);
  EXPECT_EQ(uitrans::line_width_px(m, u"OK&"), ok);
  EXPECT_EQ(uitrans::line_width_px(m, u"&OK", true), ok + amp);
}

TEST(TextWidth, WidestLineOfSeveral) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Tahoma", 8));
  int wide = uitrans::line_width_px(m, u"Wide line");
  EXPECT_EQ(uitrans::text_width_px(m, u"OK\r\nWide line\nab"), wide);
}

TEST(TextWidth, CharactersBeyondTheTables) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Tahoma", 8));
  // Cyrillic and Greek are listed; CJK takes a full em.
  EXPECT_GT(uitrans::char_width_px(m, U'\u0416'), 0);
  EXPECT_GT(uitrans::char_width_px(m, U'\u03A9'), 0);
  EXPECT_EQ(uitrans::char_width_px(m, U'\u4E2D'), m.em_px);
  // A surrogate pair is one character.
  EXPECT_EQ(uitrans::line_width_px(m, u"\U0001F600"),
            uitrans::char_width_px(m, U'\U0001F600'));
}

TEST(TextWidth, BoldWithoutABoldFaceAddsAPixelPerCharacter) {
  DialogMetrics regular = uitrans::dialog_metrics(font(u"MS Sans Serif", 8));
  DialogMetrics bold = uitrans::dialog_metrics(font(u"MS Sans Serif", 8, 700));
  EXPECT_EQ(uitrans::line_width_px(bold, u"abc"),
            uitrans::line_width_px(regular, u"abc") + 3);
}

TEST(WrappedLines, BreaksAtSpaces) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Tahoma", 8));
  int word = uitrans::line_width_px(m, u"word");
  int space = uitrans::char_width_px(m, U' ');
  EXPECT_EQ(uitrans::wrapped_lines(m, u"word word word", 3 * word + 2 * space),
            1);
  EXPECT_EQ(
      uitrans::wrapped_lines(m, u"word word word", 3 * word + 2 * space - 1),
      2);
  EXPECT_EQ(uitrans::wrapped_lines(m, u"word word word", word), 3);
  // A word wider than the line takes a line of its own.
  EXPECT_EQ(uitrans::wrapped_lines(m, u"word", 1), 1);
  EXPECT_EQ(uitrans::wrapped_lines(m, u"a\nb", 100), 2);
}

}  // namespace

namespace {

// Arial (measured with Liberation Sans, its metric twin) by the same rules:
// an 11-pixel em, ascent 9.96 and descent 2.33 rounded apart.
TEST(DialogMetrics, ArialEightPoint) {
  DialogMetrics m = uitrans::dialog_metrics(font(u"Arial", 8));
  EXPECT_EQ(m.base_x, 6);
  EXPECT_EQ(m.base_y, 12);
}

}  // namespace
