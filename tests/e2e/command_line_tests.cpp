// Command line, exit statuses, list-file failures and the run over several
// executables.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::ResourceImage;

const std::vector<std::pair<std::u16string, std::u16string>> kOpenToLoad = {
    {u"&Open", u"&Load"}};

class CommandLineTest : public AppTest {};

struct TooFewCase {
  const char* label;
  std::vector<std::string> args;
};

TEST_F(CommandLineTest, TooFewArgumentsPrintMessageAndExitOne) {
  const std::vector<TooFewCase> cases = {
      {"nothing", {}},
      {"list only", {"list.txt"}},
      {"switch and list", {"-s", "list.txt"}},
      {"capital switch and list", {"-S", "list.txt"}},
      {"switch only", {"-s"}},
  };
  write("list.txt", make_pair_list(kOpenToLoad));
  for (const TooFewCase& c : cases) {
    SCOPED_TRACE(c.label);
    const testsupport::RunResult result = run(c.args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "No enough paramaters\n");
  }
  EXPECT_EQ(files(), std::vector<std::string>{"list.txt"});
}

TEST_F(CommandLineTest, SwitchInEitherCaseShiftsTheArguments) {
  for (const char* flag : {"-s", "-S"}) {
    SCOPED_TRACE(flag);
    clear();
    write("list.txt", make_pair_list(kOpenToLoad));
    write("app.exe", app.image.bytes);
    const testsupport::RunResult result = run({flag, "list.txt", "app.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
    EXPECT_BYTES(read("app.exe"), app_after);
    EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
    EXPECT_BYTES(read("out.txt"), kOutTxt);
  }
}

TEST_F(CommandLineTest, ListNamedLikeTheSwitchNeedsTheSwitchInFront) {
  write("-s", make_pair_list(kOpenToLoad));
  write("app.exe", app.image.bytes);
  testsupport::RunResult result = run({"-s", "app.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No enough paramaters\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);

  result = run({"-s", "-s", "app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app_after);
}

TEST_F(CommandLineTest, SwitchIsOnlyRecognisedFirst) {
  // "-s" in executable position is an executable name.
  write("list.txt", make_pair_list(kOpenToLoad));
  const testsupport::RunResult result = run({"list.txt", "-s"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Can't open -s for reading.\n");
}

TEST_F(CommandLineTest, MissingListFileExitsTwo) {
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result = run({"nolist.txt", "app.exe"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "Couldn't open nolist.txt\n");
  EXPECT_EQ(files(), std::vector<std::string>{"app.exe"});
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
}

TEST_F(CommandLineTest, UnreadableListFileExitsTwo) {
  // A directory opens on POSIX but cannot be read.
  ASSERT_EQ(mkdir(path("listdir").c_str(), 0755), 0);
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result = run({"listdir", "app.exe"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "Couldn't open listdir\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_FALSE(exists("out.txt"));
}

TEST_F(CommandLineTest, ListWithoutByteOrderMarkIsRefusedWithStatusZero) {
  const std::vector<std::pair<const char*, Bytes>> lists = {
      {"empty", {}},
      {"one byte", {0xFF}},
      {"utf-8 text", {'&', 'O', 'p', 'e', 'n', '\n', '&', 'L', 'o', 'a', 'd'}},
      {"utf-8 mark", {0xEF, 0xBB, 0xBF, 'a', 'b', '\n', 'c', 'd'}},
      {"mark after a byte", {0x20, 0xFF, 0xFE, 0x41, 0x00}},
  };
  write("app.exe", app.image.bytes);
  for (const auto& [label, list] : lists) {
    SCOPED_TRACE(label);
    write("list.txt", list);
    const testsupport::RunResult result = run({"list.txt", "app.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Not a unicode input file.\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "list.txt"}));
    EXPECT_BYTES(read("app.exe"), app.image.bytes);
  }
}

TEST_F(CommandLineTest, BigEndianListWorksLikeLittleEndian) {
  testsupport::ListFormat format;
  format.order = testsupport::ByteOrder::big;
  format.line_break = testsupport::LineBreak::cr;
  format.final_break = false;
  write("list.txt", make_pair_list(kOpenToLoad, format));
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app_after);
}

TEST_F(CommandLineTest, EmptyTableFindsNothing) {
  write("list.txt", testsupport::make_list({}));
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_EQ(files(),
            (std::vector<std::string>{"app.exe", "list.txt", "out.txt"}));
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(CommandLineTest, MissingExecutableAmongSeveral) {
  write("list.txt", make_pair_list(kOpenToLoad));
  write("a.exe", app.image.bytes);
  write("c.exe", app.image.bytes);
  const testsupport::RunResult result =
      run({"list.txt", "a.exe", "b.exe", "c.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "1 strings replaced in a.exe.\n"
            "Can't open b.exe for reading.\n"
            "1 strings replaced in c.exe.\n");
  EXPECT_EQ(files(),
            (std::vector<std::string>{"a.exe", "a.exe.old", "c.exe",
                                      "c.exe.old", "list.txt", "out.txt"}));
  EXPECT_BYTES(read("a.exe"), app_after);
  EXPECT_BYTES(read("c.exe"), app_after);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(CommandLineTest, NoExecutableReachesRebuildSoNoOutTxt) {
  write("list.txt", make_pair_list(kOpenToLoad));
  write("bad.exe", Bytes(100, 0));
  const testsupport::RunResult result =
      run({"list.txt", "missing.exe", "bad.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "Can't open missing.exe for reading.\n"
            "bad.exe is not a valid win32 executeable.\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"bad.exe", "list.txt"}));
}

TEST_F(CommandLineTest, OutTxtIsReplacedByTheMarkOnly) {
  write("out.txt", Bytes(300, 'x'));
  write("list.txt", make_pair_list(kOpenToLoad));
  write("app.exe", app.image.bytes);
  run({"list.txt", "app.exe", "app.exe"});
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(CommandLineTest, NamesArePrintedAsGivenBytes) {
  if (kWindowsProgram) {
    GTEST_SKIP() << "Windows names are UTF-16; byte names that are not UTF-8 "
                    "have no Windows form";
  }
  const std::string name = "./caf\xE9 %s %i.exe";
  write("list.txt", make_pair_list(kOpenToLoad));
  write("caf\xE9 %s %i.exe", app.image.bytes);
  const testsupport::RunResult result = run({"list.txt", name, "./none"});
  EXPECT_EQ(result.out, "1 strings replaced in " + name +
                            ".\nCan't open ./none for reading.\n");
  EXPECT_BYTES(read("caf\xE9 %s %i.exe"), app_after);
  EXPECT_BYTES(read("caf\xE9 %s %i.exe.old"), app.image.bytes);
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

struct OptionCase {
  const char* label;
  std::vector<std::string> args;
  int status;
  const char* out;      // exact standard output, or nullptr: not checked
  const char* err_has;  // a part of standard error ("" for none)
  bool translated;      // app.exe holds the translation afterwards
};

TEST_F(CommandLineTest, OptionsComeFirstAndNeverChangeARunWithoutThem) {
  const std::vector<OptionCase> cases = {
      {"help", {"--help"}, 0, nullptr, "", false},
      {"unknown option",
       {"--bogus", "list.txt", "app.exe"},
       1,
       "",
       "unknown option --bogus",
       false},
      {"flag with a value",
       {"--dry-run=yes", "list.txt", "app.exe"},
       1,
       "",
       "takes no value",
       false},
      {"report without its file", {"--report"}, 1, "", "needs a value", false},
      {"--po without --extract",
       {"--po", "list.txt", "app.exe"},
       1,
       "",
       "--extract",
       false},
      {"--report with --extract",
       {"--extract", "--report", "r", "app.exe"},
       1,
       "",
       "translation runs",
       false},
      {"--extract without executables",
       {"--extract"},
       1,
       "",
       "executable",
       false},
      {"list named --x after --",
       {"--", "--x", "app.exe"},
       0,
       "1 strings replaced in app.exe.\n",
       "",
       true},
      {"list named --x as ./--x",
       {"./--x", "app.exe"},
       0,
       "1 strings replaced in app.exe.\n",
       "",
       true},
      {"list named -o without --extract",
       {"-o", "app.exe"},
       0,
       "1 strings replaced in app.exe.\n",
       "",
       true},
      {"report given as --report=FILE",
       {"--report=r.tsv", "list.txt", "app.exe"},
       0,
       "1 strings replaced in app.exe.\n",
       "",
       true},
      {"options then the switch",
       {"--dry-run", "-s", "list.txt", "app.exe"},
       0,
       "1 strings replaced in app.exe.\n",
       "",
       false},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    for (const char* name : {"list.txt", "--x", "-o"}) {
      write(name, make_pair_list(kOpenToLoad));
    }
    write("app.exe", app.image.bytes);
    testsupport::RunOptions noisy;
    noisy.allow_stderr = true;
    const testsupport::RunResult result = run(c.args, noisy);
    EXPECT_EQ(result.status, c.status);
    if (c.out != nullptr) {
      EXPECT_EQ(result.out, c.out);
    }
    EXPECT_NE(result.err.find(c.err_has), std::string::npos) << result.err;
    EXPECT_BYTES(read("app.exe"), c.translated ? app_after : app.image.bytes);
  }
}

TEST_F(CommandLineTest, HelpAndVersionGoToStandardOutput) {
  const testsupport::RunResult help = run({"--help"});
  EXPECT_EQ(help.out.rfind("Usage: uitrans", 0), 0u);
  const testsupport::RunResult version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("uitrans ", 0), 0u);
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
  EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace e2e
