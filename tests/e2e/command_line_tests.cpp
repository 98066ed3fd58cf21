// SPDX-License-Identifier: MIT
// Command line, exit statuses, list-file failures and the run over several
// executables.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

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

// What lstat says a name is (0: nothing there).
mode_t kind_of(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// The side file replaces only a regular file that is no executable of the
// run: a link is never followed, a FIFO never waited on, and a program
// named or linked as out.txt keeps its bytes.
TEST_F(CommandLineTest, SideFileTable) {
  struct Case {
    const char* what;
    bool posix_only;  // symbolic links and FIFOs
    std::function<void()> setup;
    std::vector<std::string> args;
    std::string out;
    std::vector<std::pair<std::string, Bytes>> want;
    std::vector<std::pair<std::string, mode_t>> kinds;  // as lstat sees them
  };
  const Bytes original = app.image.bytes;
  const Bytes keep = {'k', 'e', 'e', 'p'};
  const std::string app_done = "1 strings replaced in app.exe.\n";
  const std::vector<Case> cases = {
      {"symbolic link to another file",
       true,
       [&] {
         write("victim", keep);
         ASSERT_EQ(symlink("victim", path("out.txt").c_str()), 0);
       },
       {"list.txt", "app.exe"},
       app_done,
       {{"victim", keep}, {"app.exe", app_after}},
       {{"out.txt", S_IFLNK}}},
      {"dangling symbolic link",
       true,
       [&] { ASSERT_EQ(symlink("absent", path("out.txt").c_str()), 0); },
       {"list.txt", "app.exe"},
       app_done,
       {{"app.exe", app_after}},
       {{"out.txt", S_IFLNK}, {"absent", 0}}},
      {"FIFO",
       true,
       [&] { ASSERT_EQ(mkfifo(path("out.txt").c_str(), 0644), 0); },
       {"list.txt", "app.exe"},
       app_done,
       {{"app.exe", app_after}},
       {{"out.txt", S_IFIFO}}},
      {"directory",
       false,
       [&] { ASSERT_EQ(mkdir(path("out.txt").c_str(), 0755), 0); },
       {"list.txt", "app.exe"},
       app_done,
       {{"app.exe", app_after}},
       {{"out.txt", S_IFDIR}}},
      {"an executable named out.txt, then another",
       false,
       [&] {
         write("out.txt", original);
         write("next.exe", original);
       },
       {"list.txt", "out.txt", "next.exe"},
       "1 strings replaced in out.txt.\n1 strings replaced in next.exe.\n",
       {{"out.txt", app_after},
        {"out.txt.old", original},
        {"next.exe", app_after},
        {"next.exe.old", original}},
       {}},
      {"a second link to the executable",
       false,
       [&] {
         ASSERT_EQ(link(path("app.exe").c_str(), path("out.txt").c_str()), 0);
       },
       {"list.txt", "app.exe"},
       app_done,
       {{"out.txt", original},
        {"app.exe", app_after},
        {"app.exe.old", original}},
       {}},
      {"the executable reached through a symbolic link",
       true,
       [&] {
         write("out.txt", original);
         ASSERT_EQ(symlink("out.txt", path("prog.exe").c_str()), 0);
       },
       {"list.txt", "prog.exe"},
       "1 strings replaced in prog.exe.\n",
       {{"out.txt", original}, {"prog.exe", app_after}},
       {{"prog.exe", S_IFREG}}},
      {"a program this run wrote as out.txt",
       false,
       [&] {
         write("out.txt.old", original);
         write("next.exe", original);
       },
       {"list.txt", "out.txt.old", "next.exe"},
       "1 strings replaced in out.txt.\n1 strings replaced in next.exe.\n",
       {{"out.txt", app_after}, {"out.txt.old", original}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (kWindowsProgram && c.posix_only) continue;
    clear();
    write("list.txt", make_pair_list(kOpenToLoad));
    write("app.exe", original);
    c.setup();
    const testsupport::RunResult result = run(c.args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, c.out);
    for (const auto& [name, bytes] : c.want) {
      SCOPED_TRACE(name);
      EXPECT_BYTES(read(name), bytes);
    }
    for (const auto& [name, kind] : c.kinds) {
      EXPECT_EQ(kind_of(path(name)), kind) << name;
    }
  }
}

// An executable that is not a regular file is refused at once; a list can
// come through a pipe, /dev/stdin or a FIFO and is read to its end.
TEST_F(CommandLineTest, NonRegularInputsTable) {
  if (kWindowsProgram) GTEST_SKIP() << "pipes and FIFOs of the POSIX shell";
  struct Case {
    const char* what;
    std::string script;  // run by sh with the tool as $0
    std::string out;
    bool translated;  // app.exe was translated
  };
  const std::string app_done = "1 strings replaced in app.exe.\n";
  const std::vector<Case> cases = {
      {"FIFO as executable", "mkfifo a.fifo && \"$0\" list.txt a.fifo app.exe",
       "Can't open a.fifo for reading.\n" + app_done, true},
      {"device as executable", "\"$0\" list.txt /dev/null app.exe",
       "Can't open /dev/null for reading.\n" + app_done, true},
      {"directory as executable", "mkdir d && \"$0\" list.txt d app.exe",
       "Can't open d for reading.\n" + app_done, true},
      {"list from a pipe on /dev/stdin",
       "cat list.txt | \"$0\" /dev/stdin app.exe", app_done, true},
      {"list from a pipe, zero bytes after it to three short of its "
       "first buffer",
       "n=$((65533 - $(wc -c < list.txt))) && "
       "{ cat list.txt; head -c \"$n\" /dev/zero; } | \"$0\" /dev/stdin "
       "app.exe",
       app_done, true},
      {"list from a FIFO",
       "mkfifo l.fifo && { cat list.txt > l.fifo & } && \"$0\" l.fifo app.exe",
       app_done, true},
      {"list from a pipe without a byte-order mark",
       "printf 'ab' | \"$0\" /dev/stdin app.exe", "Not a unicode input file.\n",
       false},
      {"list from an empty pipe", "\"$0\" /dev/stdin app.exe < /dev/null",
       "Not a unicode input file.\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clear();
    write("list.txt", make_pair_list(kOpenToLoad));
    write("app.exe", app.image.bytes);
    testsupport::RunOptions options;
    options.cwd = dir.path;
    const testsupport::RunResult result = testsupport::run_program(
        "/bin/sh", {"-c", c.script, UITRANS_BINARY}, options);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, c.out);
    EXPECT_BYTES(read("app.exe"), c.translated ? app_after : app.image.bytes);
  }
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
