// SPDX-License-Identifier: MIT
// A translator's workflow: extracting a list template, the round trip back
// into the program, dry runs, the report, and string tables on request.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "support/dialog_template.h"
#include "support/image_reader.h"

namespace e2e {
namespace {

using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::ResourceImage;

// The list-template lines of `texts`: each text twice and an empty line.
Bytes list_template(const std::vector<std::u16string>& texts) {
  Bytes bytes = {0xFF, 0xFE};
  auto line = [&](const std::u16string& text) {
    testsupport::append_text(bytes, text + u"\r\n");
  };
  for (const std::u16string& text : texts) {
    line(text);
    line(text);
    line(u"");
  }
  return bytes;
}

// The string block of one_menu_tree with its first string replaced.
Bytes string_block(const std::u16string& first) {
  Bytes strings;
  testsupport::append16(strings, static_cast<uint16_t>(first.size()));
  testsupport::append_text(strings, first);
  for (int i = 0; i < 15; ++i) testsupport::append16(strings, 0);
  return strings;
}

constexpr size_t kStringItem = 1;

const testsupport::RunOptions kNoisy = [] {
  testsupport::RunOptions options;
  options.allow_stderr = true;
  return options;
}();

class WorkflowTest : public AppTest {};

TEST_F(WorkflowTest, ExtractionListsMenuTextsOnceInWalkOrder) {
  write("app.exe", app.image.bytes);
  write("copy.exe", app.image.bytes);
  const testsupport::RunResult result =
      run({"--extract", "app.exe", "copy.exe"});
  EXPECT_EQ(result.status, 0);
  const Bytes expected =
      list_template({u"&File", u"&Open", u"E&xit", u"&Help", u"&About"});
  EXPECT_BYTES(Bytes(result.out.begin(), result.out.end()), expected);
  // With string tables, the block's string joins them (already listed).
  const testsupport::RunResult strings =
      run({"--extract", "--string-tables", "-o", "t.txt", "app.exe"});
  EXPECT_EQ(strings.status, 0);
  EXPECT_EQ(strings.out, "");
  EXPECT_BYTES(read("t.txt"), expected);
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_FALSE(exists("out.txt"));
  EXPECT_FALSE(exists("app.exe.old"));
}

TEST_F(WorkflowTest, ExtractionGoesOnPastUnreadableExecutables) {
  write("app.exe", app.image.bytes);
  write("bad.exe", Bytes(100, 0));
  const testsupport::RunResult result =
      run({"--extract", "missing.exe", "bad.exe", "app.exe"}, kNoisy);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.err,
            "Can't open missing.exe for reading.\n"
            "bad.exe is not a valid win32 executeable.\n");
  EXPECT_BYTES(
      Bytes(result.out.begin(), result.out.end()),
      list_template({u"&File", u"&Open", u"E&xit", u"&Help", u"&About"}));
}

TEST_F(WorkflowTest, ExtractedTemplateEditedTranslatesTheProgram) {
  write("app.exe", app.image.bytes);
  ASSERT_EQ(run({"--extract", "-o", "list.txt", "app.exe"}).status, 0);
  // The translator edits the second line of the &Open pair.
  Bytes list = read("list.txt");
  const Bytes template_bytes =
      list_template({u"&File", u"&Open", u"E&xit", u"&Help", u"&About"});
  ASSERT_EQ(list, template_bytes);
  Bytes edited = list_template({u"&File"});
  testsupport::append_text(edited, u"&Open\r\n&Load\r\n\r\n");
  const Bytes rest = list_template({u"E&xit", u"&Help", u"&About"});
  edited.insert(edited.end(), rest.begin() + 2, rest.end());
  write("list.txt", edited);
  const testsupport::RunResult result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "5 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app_after);
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
}

TEST_F(WorkflowTest, DryRunPrintsWhatTheRunPrintsAndWritesNothing) {
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  write("app.exe", app.image.bytes);
  write("none.exe",
        make_resource_image(one_menu_tree(sample_menu(u"&Other", u"&About")))
            .image.bytes);
  const std::vector<std::string> exes = {"app.exe", "none.exe", "gone.exe"};
  std::vector<std::string> dry = {"--dry-run", "list.txt"};
  dry.insert(dry.end(), exes.begin(), exes.end());
  const testsupport::RunResult dry_run = run(dry);
  EXPECT_EQ(files(),
            (std::vector<std::string>{"app.exe", "list.txt", "none.exe"}));
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  std::vector<std::string> real = {"list.txt"};
  real.insert(real.end(), exes.begin(), exes.end());
  const testsupport::RunResult real_run = run(real);
  EXPECT_EQ(dry_run.out, real_run.out);
  EXPECT_EQ(dry_run.status, real_run.status);
  EXPECT_BYTES(read("app.exe"), app_after);
}

TEST_F(WorkflowTest, ReportNamesEveryTextLookedUpAndUnusedEntries) {
  write("list.txt", make_pair_list({{u"&Open", u"&Load"},
                                    {u"Nowhere", u"Nirgends"},
                                    {u"Tab\there", u"x\\y"}}));
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result =
      run({"--report", "r.tsv", "--string-tables", "list.txt", "app.exe"});
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  const Bytes report = read("r.tsv");
  EXPECT_EQ(std::string(report.begin(), report.end()),
            "status\texecutable\ttype\tname\tlanguage\tplace\tbefore\tafter"
            "\tline\n"
            "kept\tapp.exe\tMENU\t1\t0409\titem #1\t&File\t\t\n"
            "replaced\tapp.exe\tMENU\t1\t0409\titem 100\t&Open\t&Load\t1\n"
            "kept\tapp.exe\tMENU\t1\t0409\titem 101\tE&xit\t\t\n"
            "kept\tapp.exe\tMENU\t1\t0409\titem #4\t&Help\t\t\n"
            "kept\tapp.exe\tMENU\t1\t0409\titem 200\t&About\t\t\n"
            "replaced\tapp.exe\tSTRING\t1\t0409\tstring 0\t&Open\t&Load\t1\n"
            "unused\t\t\t\t\t\tNowhere\tNirgends\t3\n"
            "unused\t\t\t\t\t\tTab\\there\tx\\\\y\t5\n");
  EXPECT_BYTES(
      read("app.exe"),
      expected_output(
          app, repack_of(app, {{kMenuItem, sample_menu(u"&Load", u"&About")},
                               {kStringItem, string_block(u"&Load")}}))
          .bytes);
}

// Places are named by ids only where an id names one place alone: static
// texts share 65535 (-1 in extended templates), pop-ups have none.
TEST_F(WorkflowTest, ReportNamesPlacesByUniqueIdsElseByNumber) {
  using testsupport::DialogControl;
  auto control = [](uint32_t id, const std::u16string& title) {
    DialogControl c;
    c.id = id;
    c.title = testsupport::text_field(title);
    return c;
  };
  for (bool extended : {false, true}) {
    SCOPED_TRACE(extended ? "extended" : "classic");
    testsupport::DialogSpec dialog;
    dialog.extended = extended;
    dialog.title = u"Options";
    dialog.controls = {control(extended ? 0xFFFFFFFF : 0xFFFF, u"&Name:"),
                       control(1, u"OK"), control(7, u"&Left"),
                       control(7, u"&Right"), control(0, u"Frame")};
    dialog.controls[1].data = {u'O', u'K', 0};
    dialog.controls[1].data_count = 8;
    testsupport::ResourceTreeSpec tree;
    tree.types.push_back(
        {testsupport::rid(5),
         {{testsupport::rid(9), {{0x409, testsupport::make_dialog(dialog)}}}}});
    write("list.txt", make_pair_list({{u"OK", u"Gut"}}));
    write("app.exe", make_resource_image(tree).image.bytes);
    ASSERT_EQ(
        run({"--dry-run", "--report", "r.tsv", "list.txt", "app.exe"}).out,
        "2 strings replaced in app.exe.\n");
    const Bytes report = read("r.tsv");
    const std::string head = "\tapp.exe\tDIALOG\t9\t0409\t";
    EXPECT_EQ(std::string(report.begin(), report.end()),
              "status\texecutable\ttype\tname\tlanguage\tplace\tbefore"
              "\tafter\tline\n"
              "kept" +
                  head +
                  "title\tOptions\t\t\n"
                  "kept" +
                  head +
                  "control #1\t&Name:\t\t\n"
                  "replaced" +
                  head +
                  "control 1\tOK\tGut\t1\n"
                  "replaced" +
                  head +
                  "creation data of control 1\tOK\tGut\t1\n"
                  "kept" +
                  head +
                  "control #3\t&Left\t\t\n"
                  "kept" +
                  head +
                  "control #4\t&Right\t\t\n"
                  "kept" +
                  head + "control #5\tFrame\t\t\n");
  }
}

// Version information and message tables that do not read are kept byte
// for byte and named in the report, like string blocks.
TEST_F(WorkflowTest, BlocksThatDoNotReadAreKeptAndReported) {
  const Bytes junk = {0x20, 0x00, 0x30, 0x00, 0x01, 0x00, 'V', 0};
  testsupport::ResourceTreeSpec tree =
      one_menu_tree(sample_menu(u"&Open", u"&About"));
  tree.types.push_back(
      {testsupport::rid(11), {{testsupport::rid(1), {{0x409, junk}}}}});
  tree.types.push_back(
      {testsupport::rid(16), {{testsupport::rid(1), {{0x409, junk}}}}});
  const ResourceImage input = make_resource_image(tree);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  write("app.exe", input.image.bytes);
  const testsupport::RunResult result =
      run({"--all-texts", "--report", "r.tsv", "list.txt", "app.exe"});
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");  // and a string
  const Bytes report = read("r.tsv");
  const std::string text(report.begin(), report.end());
  EXPECT_NE(
      text.find("\nmalformed\tapp.exe\tMESSAGETABLE\t1\t0409\tblock\t\t\t\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\nmalformed\tapp.exe\tVERSION\t1\t0409\tblock\t\t\t\n"),
            std::string::npos)
      << text;
  const std::optional<testsupport::ResourceView> after =
      testsupport::read_resources(read("app.exe"));
  ASSERT_TRUE(after);
  for (uint32_t type : {11u, 16u}) {
    EXPECT_EQ(after->items.at({testsupport::rid(type), testsupport::rid(1),
                               testsupport::rid(0x409)}),
              junk);
  }
}

struct BlockCase {
  const char* label;
  Bytes block;
  Bytes expected;  // the block after translating "&Open" to "&Loaded"
  int replaced;
};

Bytes counted(std::initializer_list<std::u16string> strings, size_t zeros,
              Bytes tail = {}) {
  Bytes bytes;
  for (const std::u16string& text : strings) {
    testsupport::append16(bytes, static_cast<uint16_t>(text.size()));
    testsupport::append_text(bytes, text);
  }
  for (size_t i = 0; i < zeros; ++i) testsupport::append16(bytes, 0);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

TEST_F(WorkflowTest, StringBlocksOfEveryShape) {
  const std::vector<BlockCase> cases = {
      {"first string", counted({u"&Open"}, 15), counted({u"&Loaded"}, 15), 1},
      {"last string of the block", counted({}, 15, counted({u"&Open"}, 0)),
       counted({}, 15, counted({u"&Loaded"}, 0)), 1},
      {"trailing bytes kept, odd one too", counted({u"&Open"}, 15, {1, 2, 3}),
       counted({u"&Loaded"}, 15, {1, 2, 3}), 1},
      {"a tail or a longer text is no match",
       counted({u"x&Open", u"&Open more"}, 14),
       counted({u"x&Open", u"&Open more"}, 14), 0},
      {"count running past the item: kept", counted({u"&Open"}, 13),
       counted({u"&Open"}, 13), 0},
      {"empty block: kept", {}, {}, 0},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    testsupport::ResourceTreeSpec tree =
        one_menu_tree(sample_menu(u"&Other", u"&About"));
    tree.types[1].entries[0].languages[0].data = c.block;
    ResourceImage input = make_resource_image(tree);
    write("list.txt", make_pair_list({{u"&Open", u"&Loaded"}}));
    write("app.exe", input.image.bytes);
    const testsupport::RunResult result =
        run({"--string-tables", "list.txt", "app.exe"});
    if (c.replaced == 0) {
      EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
      EXPECT_BYTES(read("app.exe"), input.image.bytes);
      continue;
    }
    EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
    EXPECT_BYTES(
        read("app.exe"),
        expected_output(input, repack_of(input, {{kStringItem, c.expected}}))
            .bytes);
    // Without the option the block is copied as it is.
    clear();
    write("list.txt", make_pair_list({{u"&Open", u"&Loaded"}}));
    write("app.exe", input.image.bytes);
    EXPECT_EQ(run({"list.txt", "app.exe"}).out,
              "No strings found to replace in app.exe.\n");
  }
}

}  // namespace
}  // namespace e2e
