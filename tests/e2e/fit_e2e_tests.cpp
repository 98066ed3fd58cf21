// SPDX-License-Identifier: MIT
// --fit and --preview through the binary: controls widened fully, partly
// or not at all by their neighbours, by their alignment, and nothing but x
// and cx changing; the preview page's structure.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/dialog_template.h"

namespace e2e {
namespace {

using testsupport::DialogControl;
using testsupport::DialogSpec;
using testsupport::make_pair_list;
using testsupport::ordinal_field;
using testsupport::text_field;

constexpr uint32_t kStatic = 0x50000000;         // WS_CHILD | WS_VISIBLE
constexpr uint32_t kStaticRight = kStatic | 2;   // SS_RIGHT
constexpr uint32_t kStaticCentre = kStatic | 1;  // SS_CENTER

// In MS Shell Dlg 8 (Tahoma, base units 6x13): "Cancel" is drawn 37 px
// wide, 25 DU; "Abbrechen" 57 px, 38 DU.
constexpr uint16_t kCancelDu = 25;
constexpr uint16_t kAbbrechenDu = 38;

DialogControl text_control(uint32_t id, uint32_t style,
                           const std::u16string& title, uint16_t x, uint16_t y,
                           uint16_t cx, uint16_t cy = 8) {
  DialogControl c;
  c.style = style;
  c.id = id;
  c.window_class = ordinal_field(0x82);
  c.title = text_field(title);
  c.rect[0] = x;
  c.rect[1] = y;
  c.rect[2] = cx;
  c.rect[3] = cy;
  return c;
}

DialogControl edit_at(uint32_t id, uint16_t x, uint16_t y, uint16_t cx = 40) {
  DialogControl c = text_control(id, kStatic, u"", x, y, cx, 12);
  c.window_class = ordinal_field(0x81);
  return c;
}

// A drop-down list combo box whose list, dropped down, reaches far below.
DialogControl combo_at(uint32_t id, uint16_t x, uint16_t y) {
  DialogControl c = text_control(id, kStatic | 3, u"", x, y, 40, 100);
  c.window_class = ordinal_field(0x85);
  return c;
}

DialogSpec shell_dialog(bool extended, std::vector<DialogControl> controls) {
  DialogSpec dialog;
  dialog.extended = extended;
  dialog.style = 0x80C00000 | testsupport::kDsSetFont;
  dialog.title = u"Options";
  dialog.typeface = u"MS Shell Dlg";
  dialog.rect[2] = 200;
  dialog.controls = std::move(controls);
  return dialog;
}

testsupport::ResourceTreeSpec dialog_tree(const DialogSpec& dialog) {
  testsupport::ResourceTreeSpec tree;
  tree.types.push_back(
      {testsupport::rid(5),
       {{testsupport::rid(9), {{0x409, testsupport::make_dialog(dialog)}}}}});
  return tree;
}

class FitTest : public E2eTest {
 protected:
  // Runs with `args` before the list and gives the dialog written.
  DialogSpec translate(const DialogSpec& dialog,
                       const std::vector<std::string>& args) {
    write("list.txt", make_pair_list({{u"Cancel", u"Abbrechen"},
                                      {u"Options", u"<Optionen & mehr>"}}));
    write("app.exe",
          testsupport::make_resource_image(dialog_tree(dialog)).image.bytes);
    std::vector<std::string> all = args;
    all.push_back("list.txt");
    all.push_back("app.exe");
    run(all);
    auto resources = testsupport::read_resources(read("app.exe"));
    DialogSpec written;
    EXPECT_TRUE(resources.has_value());
    if (!resources || resources->items.size() != 1) return written;
    const Bytes& item = resources->items.begin()->second;
    std::string error;
    EXPECT_TRUE(
        testsupport::read_dialog(item.data(), item.size(), &written, &error))
        << error;
    // Every byte but the rectangles is the template with the texts
    // replaced.
    DialogSpec expected = dialog;
    expected.title = u"<Optionen & mehr>";
    for (size_t i = 0; i < expected.controls.size(); ++i) {
      if (expected.controls[i].title == text_field(u"Cancel")) {
        expected.controls[i].title = text_field(u"Abbrechen");
      }
      if (i < written.controls.size()) {
        expected.controls[i].rect[0] = written.controls[i].rect[0];
        expected.controls[i].rect[2] = written.controls[i].rect[2];
      }
    }
    EXPECT_BYTES(item, testsupport::make_dialog(expected));
    return written;
  }
};

struct Widen {
  const char* name;
  std::vector<DialogControl> controls;
  uint16_t x;   // of the first control, written
  uint16_t cx;  // of the first control, written
};

TEST_F(FitTest, WidensWithinTheFreeSpace) {
  const Widen cases[] = {
      {"fully",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu)},
       10,
       kAbbrechenDu},
      {"partly: a neighbour",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu),
        edit_at(2, 40, 8)},
       10,
       30},
      {"blocked: touching",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu),
        edit_at(2, 35, 8)},
       10,
       kCancelDu},
      {"blocked: overlapping already",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu),
        edit_at(2, 30, 8)},
       10,
       kCancelDu},
      {"a neighbour within its width does not block",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu),
        edit_at(2, 12, 8, 10)},
       10,
       kAbbrechenDu},
      {"a drop-down's list is no neighbour",
       {text_control(1, kStatic, u"Cancel", 10, 30, kCancelDu),
        combo_at(2, 30, 8)},
       10,
       kAbbrechenDu},
      {"neighbour on another row",
       {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu),
        edit_at(2, 35, 30)},
       10,
       kAbbrechenDu},
      {"the dialog's edge",
       {text_control(1, kStatic, u"Cancel", 170, 10, kCancelDu)},
       170,
       30},
      {"right-aligned keeps its right edge",
       {text_control(1, kStaticRight, u"Cancel", 50, 10, kCancelDu)},
       37,
       kAbbrechenDu},
      {"centred keeps its centre",
       {text_control(1, kStaticCentre, u"Cancel", 50, 10, kCancelDu)},
       43,
       39},
      {"right-aligned blocked on the left",
       {edit_at(2, 0, 8),
        text_control(1, kStaticRight, u"Cancel", 45, 10, kCancelDu)},
       0,
       40},
  };
  for (bool extended : {false, true}) {
    for (const Widen& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (extended ? ", extended" : ""));
      DialogSpec written =
          translate(shell_dialog(extended, c.controls), {"--fit"});
      ASSERT_EQ(written.controls.size(), c.controls.size());
      size_t index = c.controls[0].window_class == ordinal_field(0x82) ? 0 : 1;
      const DialogControl& widened = written.controls[index];
      if (index == 1) {
        // The edit on the left is the first control; the text is second.
        EXPECT_EQ(widened.rect[0] + widened.rect[2], 45 + kCancelDu);
        EXPECT_EQ(widened.rect[0], c.controls[0].rect[0] + 40);
        continue;
      }
      EXPECT_EQ(widened.rect[0], c.x);
      EXPECT_EQ(widened.rect[2], c.cx);
      EXPECT_EQ(widened.rect[1], c.controls[0].rect[1]);
      EXPECT_EQ(widened.rect[3], c.controls[0].rect[3]);
    }
  }
}

TEST_F(FitTest, WithoutTheOptionNothingWidens) {
  DialogSpec written = translate(
      shell_dialog(false,
                   {text_control(1, kStatic, u"Cancel", 10, 10, kCancelDu)}),
      {});
  ASSERT_EQ(written.controls.size(), 1u);
  EXPECT_EQ(written.controls[0].rect[2], kCancelDu);
}

TEST_F(FitTest, ReportNamesTheControlsWidened) {
  translate(shell_dialog(false, {text_control(1001, kStatic, u"Cancel", 10, 10,
                                              kCancelDu)}),
            {"--fit", "--report", "r.tsv"});
  Bytes report = read("r.tsv");
  std::string text(report.begin(), report.end());
  EXPECT_NE(text.find("widened\tapp.exe\tDIALOG\t9\t0409\tcontrol 1001\t25\t38"
                      "\t\n"),
            std::string::npos)
      << text;
}

size_t count_of(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(FitTest, PreviewDrawsEachChangedDialogAndMenu) {
  DialogSpec changed = shell_dialog(
      false, {text_control(1001, kStatic, u"Cancel", 10, 10, kCancelDu),
              edit_at(2, 35, 8)});
  DialogSpec kept =
      shell_dialog(false, {text_control(7, kStatic, u"Keep", 10, 10, 40)});
  kept.title = u"Other";
  testsupport::ResourceTreeSpec tree = dialog_tree(changed);
  tree.types[0].entries.push_back(
      {testsupport::rid(10), {{0x409, testsupport::make_dialog(kept)}}});
  tree.types.insert(
      tree.types.begin(),
      {testsupport::rid(4),
       {{testsupport::rid(1), {{0x409, sample_menu(u"Cancel", u"&About")}}}}});
  write("list.txt", make_pair_list({{u"Cancel", u"Abbrechen"},
                                    {u"Options", u"<Optionen & mehr>"}}));
  write("app.exe", testsupport::make_resource_image(tree).image.bytes);
  run({"--dry-run", "--preview", "p.html", "list.txt", "app.exe"});
  Bytes bytes = read("p.html");
  std::string page(bytes.begin(), bytes.end());
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos);
  // The dialog changed and the menu, not the dialog kept.
  EXPECT_EQ(count_of(page, "<section class=\"resource\""), 2u);
  EXPECT_EQ(count_of(page, "<div class=\"pair dialog\">"), 1u);
  EXPECT_EQ(count_of(page, "<div class=\"pair menus\">"), 1u);
  EXPECT_EQ(count_of(page, "<li><a href=\"#r"), 2u);
  EXPECT_NE(page.find("app.exe: DIALOG 9, language 0409"), std::string::npos)
      << page;
  EXPECT_EQ(page.find("Other"), std::string::npos);
  // Texts are escaped.
  EXPECT_NE(page.find("&lt;Optionen &amp; mehr&gt;"), std::string::npos);
  EXPECT_EQ(page.find("<Optionen"), std::string::npos);
  // At its size: 200 DU at 6 px per 4 DU.
  EXPECT_NE(page.find("width:300px;height:163px"), std::string::npos);
  // The static does not fit and would cover the edit.
  EXPECT_NE(page.find("c wrap finding"), std::string::npos);
  EXPECT_NE(page.find("fit: control 1001: the text needs 38 DU, the control "
                      "is 25 DU wide"),
            std::string::npos);
  EXPECT_NE(page.find("overlap: control 1001"), std::string::npos);
  EXPECT_NE(page.find("font-family:'MS Shell Dlg',Tahoma"), std::string::npos);
}

TEST_F(FitTest, PreviewMarksTheControlsWidened) {
  write("list.txt", make_pair_list({{u"Cancel", u"Abbrechen"}}));
  write("app.exe", testsupport::make_resource_image(
                       dialog_tree(shell_dialog(
                           false, {text_control(1001, kStatic, u"Cancel", 10,
                                                10, kCancelDu)})))
                       .image.bytes);
  run({"--fit", "--preview", "p.html", "list.txt", "app.exe"});
  Bytes bytes = read("p.html");
  std::string page(bytes.begin(), bytes.end());
  EXPECT_NE(page.find("widened: control 1001 from 25 DU to 38 DU"),
            std::string::npos);
  EXPECT_NE(page.find(" widened\""), std::string::npos);
  EXPECT_EQ(page.find("finding-item"), std::string::npos);
}

TEST_F(FitTest, BelongToTranslationRuns) {
  write("app.exe",
        testsupport::make_resource_image(dialog_tree(shell_dialog(false, {})))
            .image.bytes);
  testsupport::RunOptions usage;
  usage.allow_stderr = true;
  EXPECT_EQ(run({"--extract", "--fit", "app.exe"}, usage).status, 1);
  EXPECT_EQ(run({"--extract", "--preview", "p.html", "app.exe"}, usage).status,
            1);
}

}  // namespace
}  // namespace e2e
