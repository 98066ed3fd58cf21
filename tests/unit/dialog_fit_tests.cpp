// SPDX-License-Identifier: MIT
// Fit decisions for each kind of control, overlap, and widening within the
// free space, on layouts built here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/dialog_fit.h"

namespace {

using uitrans::Alignment;
using uitrans::ControlKind;
using uitrans::DialogControl;
using uitrans::DialogLayout;

constexpr uint16_t kButton = 0x80;
constexpr uint16_t kEdit = 0x81;
constexpr uint16_t kStatic = 0x82;
constexpr uint32_t kVisible = 0x50000000;

DialogControl control(uint16_t cls, uint32_t style, int16_t x, int16_t y,
                      int16_t cx, int16_t cy, std::u16string before,
                      std::u16string after, std::string place = "control 1") {
  DialogControl c;
  c.place_name = std::move(place);
  c.class_ordinal = cls;
  c.geometry.style = kVisible | style;
  c.geometry.x = x;
  c.geometry.y = y;
  c.geometry.cx = cx;
  c.geometry.cy = cy;
  c.source = c.geometry;
  c.has_text = true;
  c.before = std::move(before);
  c.after = std::move(after);
  c.replaced = c.before != c.after;
  return c;
}

DialogLayout layout_of(std::vector<DialogControl> controls) {
  DialogLayout layout;
  layout.geometry.cx = 200;
  layout.geometry.cy = 100;
  layout.font.system_font = false;
  layout.font.point_size = 8;
  layout.font.typeface = u"MS Shell Dlg";
  layout.controls = std::move(controls);
  return layout;
}

TEST(ControlKind, ByClassAndStyle) {
  struct KindCase {
    uint16_t cls;
    uint32_t style;
    ControlKind kind;
  };
  const KindCase cases[] = {
      {kButton, 0x0, ControlKind::push_button},
      {kButton, 0x1, ControlKind::push_button},
      {kButton, 0x3, ControlKind::check_box},
      {kButton, 0x9, ControlKind::radio_button},
      {kButton, 0x7, ControlKind::group_box},
      {kButton, 0xB, ControlKind::other},
      {kStatic, 0x0, ControlKind::static_text},
      {kStatic, 0x3, ControlKind::other},  // SS_ICON
      {kEdit, 0x0, ControlKind::other},
  };
  for (const KindCase& c : cases) {
    EXPECT_EQ(
        uitrans::control_kind(control(c.cls, c.style, 0, 0, 1, 1, u"", u"")),
        c.kind)
        << c.cls << " " << c.style;
  }
  DialogControl named = control(0, 0x2, 0, 0, 1, 1, u"", u"");
  named.class_name = u"BUTTON";
  EXPECT_EQ(uitrans::control_kind(named), ControlKind::check_box);
}

TEST(ControlAlignment, ByStyle) {
  auto align = [](uint16_t cls, uint32_t style) {
    return uitrans::control_alignment(
        control(cls, style, 0, 0, 1, 1, u"", u""));
  };
  EXPECT_EQ(align(kStatic, 0x0), Alignment::left);
  EXPECT_EQ(align(kStatic, 0x1), Alignment::centre);
  EXPECT_EQ(align(kStatic, 0x2), Alignment::right);
  EXPECT_EQ(align(kButton, 0x100), Alignment::left);
  EXPECT_EQ(align(kButton, 0x200), Alignment::right);
  EXPECT_EQ(align(kButton, 0x300), Alignment::centre);
}

struct FitCase {
  const char* name;
  uint16_t cls;
  uint32_t style;
  int16_t cx;
  int16_t cy;
  const char16_t* after;
  bool fits;
};

// "Cancel" is drawn 37 px wide in MS Shell Dlg 8: 25 DU (round(25 * 6 / 4)
// = 38, round(24 * 6 / 4) = 36).
TEST(MeasureFit, EachKindFitsOrNot) {
  const FitCase cases[] = {
      {"static fits", kStatic, 0x0, 25, 8, u"Cancel", true},
      {"static one short", kStatic, 0x0, 24, 8, u"Cancel", false},
      {"button with margin", kButton, 0x0, 29, 14, u"Cancel", true},
      {"button margin missing", kButton, 0x0, 28, 14, u"Cancel", false},
      {"check box with box", kButton, 0x3, 37, 10, u"Cancel", true},
      {"check box box missing", kButton, 0x3, 36, 10, u"Cancel", false},
      {"radio with box", kButton, 0x9, 37, 10, u"Cancel", true},
      {"radio box missing", kButton, 0x4, 33, 10, u"Cancel", false},
      {"group box", kButton, 0x7, 35, 40, u"Cancel", true},
      {"group box short", kButton, 0x7, 34, 40, u"Cancel", false},
      {"mnemonic not drawn", kStatic, 0x0, 25, 8, u"&Cancel", true},
      {"no prefix draws it", kStatic, 0x80, 25, 8, u"&Cancel", false},
      {"edit never checked", kEdit, 0x0, 1, 8, u"Cancel", true},
      {"wraps into the height", kStatic, 0x0, 26, 20, u"Cancel Cancel", true},
      {"wraps past the height", kStatic, 0x0, 26, 20, u"Cancel Cancel Cancel",
       false},
      {"no word wrap: one line", kStatic, 0xC, 26, 20, u"Cancel Cancel", false},
  };
  DialogLayout layout = layout_of({});
  uitrans::DialogMetrics m = uitrans::dialog_metrics(layout.font);
  for (const FitCase& c : cases) {
    DialogControl ctl = control(c.cls, c.style, 0, 0, c.cx, c.cy, u"", c.after);
    uitrans::FitMeasure measure = uitrans::measure_fit(m, ctl, c.after, c.cx);
    EXPECT_EQ(measure.fits, c.fits) << c.name << " needs " << measure.needed_du;
  }
}

TEST(MeasureFit, WrappedTextNeedsTheLeastWidthForItsLines) {
  DialogLayout layout = layout_of({});
  uitrans::DialogMetrics m = uitrans::dialog_metrics(layout.font);
  DialogControl ctl =
      control(kStatic, 0x0, 0, 0, 26, 20, u"", u"Cancel Cancel Cancel");
  uitrans::FitMeasure measure = uitrans::measure_fit(m, ctl, ctl.after, 26);
  EXPECT_TRUE(measure.wraps);
  EXPECT_EQ(measure.lines, 3);
  EXPECT_EQ(measure.lines_held, 2);
  uitrans::FitMeasure wider =
      uitrans::measure_fit(m, ctl, ctl.after, measure.needed_du);
  EXPECT_TRUE(wider.fits);
  EXPECT_FALSE(
      uitrans::measure_fit(m, ctl, ctl.after, measure.needed_du - 1).fits);
}

TEST(FitFindings, OnlyWhereTheSourceFitted) {
  DialogLayout layout = layout_of({
      control(kStatic, 0, 0, 0, 26, 8, u"Cancel", u"Abbrechen", "control 1"),
      control(kStatic, 0, 0, 10, 9, 8, u"Cancel", u"Abbrechen", "control 2"),
      control(kStatic, 0, 0, 20, 40, 8, u"Cancel", u"Abbrechen", "control 3"),
  });
  std::vector<uitrans::FitFinding> findings = uitrans::fit_findings(layout);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].check, "fit");
  EXPECT_EQ(findings[0].place_name, "control 1");
  EXPECT_EQ(findings[0].has_du, 26);
  EXPECT_GT(findings[0].needed_du, 26);
  EXPECT_NE(findings[0].message.find("26 DU"), std::string::npos);
  EXPECT_NE(
      findings[0].message.find(std::to_string(findings[0].needed_du) + " DU"),
      std::string::npos);
}

TEST(FitFindings, OverlapNamesTheControlCovered) {
  DialogLayout layout = layout_of({
      control(kStatic, 0, 0, 0, 26, 8, u"Cancel", u"Abbrechen", "control 1"),
      control(kEdit, 0, 29, 0, 50, 12, u"", u"", "control 2"),
  });
  std::vector<uitrans::FitFinding> findings = uitrans::fit_findings(layout);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[1].check, "overlap");
  EXPECT_NE(findings[1].message.find("control 2"), std::string::npos);
}

TEST(FitFindings, OverlapWithTheDialogEdge) {
  DialogLayout layout = layout_of({
      control(kStatic, 0, 175, 0, 25, 8, u"Cancel", u"Abbrechen"),
  });
  std::vector<uitrans::FitFinding> findings = uitrans::fit_findings(layout);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_NE(findings[1].message.find("dialog's edge"), std::string::npos);
}

TEST(FitFindings, FromRecords) {
  uitrans::TextRecord title;
  title.place = uitrans::TextPlace::dialog_title;
  title.geometry.cx = 200;
  title.font.system_font = false;
  title.font.point_size = 8;
  title.font.typeface = u"MS Shell Dlg";
  uitrans::TextRecord text;
  text.place = uitrans::TextPlace::control_title;
  text.place_name = "control 7";
  text.class_ordinal = kStatic;
  text.geometry.cx = 26;
  text.geometry.cy = 8;
  text.before = u"Cancel";
  text.after = u"Abbrechen";
  text.replaced = true;
  std::vector<uitrans::FitFinding> findings =
      uitrans::fit_findings(std::vector<uitrans::TextRecord>{title, text});
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].place_name, "control 7");
}

struct WidenCase {
  const char* name;
  uint32_t style;
  int16_t x;
  int16_t neighbour_x;  // a control on the same row; 0: none
  bool fully;
  int16_t expected_x;  // -1: derived from the right edge or centre
};

TEST(WidenControls, WithinTheFreeSpace) {
  DialogLayout probe = layout_of({});
  uitrans::DialogMetrics m = uitrans::dialog_metrics(probe.font);
  DialogControl sample =
      control(kStatic, 0, 50, 0, 26, 8, u"Cancel", u"Abbrechen");
  int needed = uitrans::measure_fit(m, sample, sample.after, 26).needed_du;

  // Fully to the right.
  DialogLayout free_row = layout_of({sample});
  auto widened = uitrans::widen_controls(&free_row);
  ASSERT_EQ(widened.size(), 1u);
  EXPECT_EQ(widened[0].to.x, 50);
  EXPECT_EQ(widened[0].to.cx, needed);
  EXPECT_TRUE(uitrans::fit_findings(free_row).empty());

  // Partly: a neighbour 3 DU beyond the right edge.
  DialogLayout blocked = layout_of(
      {sample, control(kEdit, 0, 79, 0, 50, 12, u"", u"", "control 2")});
  widened = uitrans::widen_controls(&blocked);
  ASSERT_EQ(widened.size(), 1u);
  EXPECT_EQ(widened[0].to.cx, 29);
  EXPECT_EQ(uitrans::fit_findings(blocked).front().has_du, 29);

  // Not at all: the neighbour touches it.
  DialogLayout touching = layout_of(
      {sample, control(kEdit, 0, 76, 0, 50, 12, u"", u"", "control 2")});
  EXPECT_TRUE(uitrans::widen_controls(&touching).empty());

  // Right-aligned keeps its right edge; centred its centre.
  DialogLayout right =
      layout_of({control(kStatic, 0x2, 50, 0, 26, 8, u"Cancel", u"Abbrechen")});
  widened = uitrans::widen_controls(&right);
  ASSERT_EQ(widened.size(), 1u);
  EXPECT_EQ(widened[0].to.x + widened[0].to.cx, 76);
  EXPECT_EQ(widened[0].to.cx, needed);
  DialogLayout centre =
      layout_of({control(kStatic, 0x1, 50, 0, 26, 8, u"Cancel", u"Abbrechen")});
  widened = uitrans::widen_controls(&centre);
  ASSERT_EQ(widened.size(), 1u);
  int extra = widened[0].to.cx - 26;
  EXPECT_GE(widened[0].to.cx, needed);
  EXPECT_EQ(widened[0].to.x, 50 - extra / 2);

  // The dialog's width bounds it.
  DialogLayout edge =
      layout_of({control(kStatic, 0, 170, 0, 25, 8, u"Cancel", u"Abbrechen")});
  widened = uitrans::widen_controls(&edge);
  ASSERT_EQ(widened.size(), 1u);
  EXPECT_EQ(widened[0].to.x + widened[0].to.cx, 200);
}

TEST(WidenControls, StaysInsideItsGroupBox) {
  DialogControl group =
      control(kButton, 0x7, 40, 0, 60, 40, u"Group", u"Group", "control 9");
  DialogLayout layout =
      layout_of({group, control(kStatic, 0, 50, 10, 26, 8, u"Cancel",
                                u"Abbrechen und weiter")});
  auto widened = uitrans::widen_controls(&layout);
  ASSERT_EQ(widened.size(), 1u);
  EXPECT_EQ(widened[0].to.x + widened[0].to.cx, 96);
}

}  // namespace
