// SPDX-License-Identifier: MIT
// File-system failures, injected into a test-only build of the binary (see
// fault_injection.cpp): a disk that fills up at any byte of the output, a
// temporary file that cannot be created, renames that fail, reads that fail.
// Whatever fails, the run ends with status 0, the stated message, every file
// holding what it held before and no temporary file left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/pe_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::MenuItem;
using testsupport::RunResult;
using testsupport::TempDir;

const Bytes kOutTxt = {0xFF, 0xFE};

Bytes make_app(bool grows) {
  testsupport::ResourceTreeSpec tree;
  tree.types.push_back(
      {testsupport::rid(4),
       {{testsupport::rid(1),
         {{0x409,
           testsupport::make_menu({MenuItem{u"&Open", 100, {}, 0},
                                   MenuItem{u"E&xit", 101, {}, 0}}),
           1252}}}}});
  testsupport::ResourceImageOptions options;
  // A small section that a long replacement makes grow.
  options.file_alignment = grows ? 0x10 : 0x200;
  return testsupport::make_resource_image(tree, options).image.bytes;
}

// A menu of many pages whose texts no list here names.
Bytes long_menu() {
  return testsupport::make_menu(
      std::vector<MenuItem>(15000, MenuItem{u"Item", 7, {}, 0}));
}

// An image whose output is written in many pieces: a large item besides
// the menu, and long menus whose pages are given back once rewritten.
Bytes make_large_app() {
  testsupport::ResourceTreeSpec tree;
  tree.types.push_back(
      {testsupport::rid(4),
       {{testsupport::rid(1),
         {{0x409, testsupport::make_menu({MenuItem{u"&Open", 100, {}, 0}}),
           1252}}},
        {testsupport::rid(2), {{0x409, long_menu(), 1252}}},
        {testsupport::rid(3), {{0x409, long_menu(), 1252}}},
        {testsupport::rid(4), {{0x409, long_menu(), 1252}}}}});
  tree.types.push_back(
      {testsupport::rid(10),
       {{testsupport::rid(1), {{0x409, Bytes(size_t{1} << 20, 'r'), 1252}}}}});
  return testsupport::make_resource_image(tree).image.bytes;
}

Bytes make_list(bool grows) {
  std::u16string replacement = grows ? std::u16string(300, u'L') : u"&Load";
  return testsupport::make_pair_list({{u"&Open", replacement}});
}

class FaultTest : public ::testing::Test {
 protected:
  TempDir dir;

  void write(const std::string& name, const Bytes& bytes) {
    ASSERT_TRUE(testsupport::write_file(dir.file(name), bytes)) << name;
  }

  // Every file of the directory with its bytes.
  std::vector<std::pair<std::string, Bytes>> snapshot() const {
    std::vector<std::pair<std::string, Bytes>> all;
    for (const std::string& name : testsupport::list_directory(dir.path)) {
      all.emplace_back(
          name, testsupport::read_file(dir.file(name)).value_or(Bytes{}));
    }
    return all;
  }

  RunResult run_with_faults(const std::string& faults,
                            const std::vector<std::string>& args) {
    setenv("UITRANS_TEST_FAULTS", faults.c_str(), 1);
    testsupport::RunOptions options;
    options.cwd = dir.path;
    RunResult result =
        testsupport::run_program(UITRANS_FAULT_BINARY, args, options);
    unsetenv("UITRANS_TEST_FAULTS");
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.err, "");
    return result;
  }
};

// What a run without faults writes, for the cases where the run succeeds.
Bytes clean_output(const Bytes& app, const Bytes& list) {
  TempDir clean;
  testsupport::write_file(clean.file("app.exe"), app);
  testsupport::write_file(clean.file("list.txt"), list);
  testsupport::RunOptions options;
  options.cwd = clean.path;
  testsupport::run_program(UITRANS_BINARY, {"list.txt", "app.exe"}, options);
  return testsupport::read_file(clean.file("app.exe")).value_or(Bytes{});
}

std::string replaced(const std::string& name, bool grows) {
  std::string out = "1 strings replaced in " + name + ".\n";
  if (grows) {
    out += " Warning: " + name +
           " string tables resized -\n\tstill experimental, could cause "
           "corruption.\n";
  }
  return out;
}

// Failures that leave every file as it was. out.txt is written before the
// output stage and is the only file the run adds.
struct UntouchedCase {
  const char* what;
  std::string faults;
  bool grows;
  bool backup_exists;
  std::string out;  // with %s for app.exe
};

std::string expand(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "%s") == 0) {
      out += "app.exe";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST_F(FaultTest, FailuresLeaveEveryFileAsItWas) {
  const Bytes in_place = make_app(false);
  const Bytes grown = make_app(true);
  const std::string error_writing = "Error writing %s.\n";
  const uint64_t mark = kOutTxt.size();  // out.txt takes the first bytes
  const std::vector<UntouchedCase> cases = {
      {"disk full at the first byte", "write_budget=" + std::to_string(mark),
       false, false, "R" + error_writing},
      {"disk full mid-write", "write_budget=" + std::to_string(mark + 700),
       false, false, "R" + error_writing},
      {"disk full one byte short",
       "write_budget=" + std::to_string(mark + in_place.size() - 1), false,
       false, "R" + error_writing},
      {"grown: disk full in the headers",
       "write_budget=" + std::to_string(mark + 100), true, false,
       "R" + error_writing},
      {"grown: disk full in the zero padding or later sections",
       "write_budget=" + std::to_string(mark + grown.size()), true, false,
       "R" + error_writing},
      {"write error", "write@2:EIO", false, false, "R" + error_writing},
      {"flush fails", "fsync", false, false, "R" + error_writing},
      {"grown: flush fails", "fsync", true, false, "R" + error_writing},
      {"output cannot replace the name", "rename", false, false,
       "R" + error_writing},
      {"finished file cannot be named", "linkat", false, false,
       "R" + error_writing},
      {"no unnamed files: output cannot replace the name",
       "tmpfile:EOPNOTSUPP,rename", true, false, "R" + error_writing},
      {"temporary file cannot be created", "tmpfile", false, false,
       "Couldn't open %s for writing.\n"},
      {"no unnamed files: temporary file cannot be created",
       "tmpfile:EOPNOTSUPP,mkostemp", false, false,
       "Couldn't open %s for writing.\n"},
      {"read-only directory", "link:EROFS,renameat2:EROFS", false, false,
       "Couldn't backup %s.\n"},
      {"backup link refused", "link:EACCES", false, false,
       "Couldn't backup %s.\n"},
      {"no links: backup rename refused", "link:EPERM,renameat2", false, false,
       "Couldn't backup %s.\n"},
      {"no links, no renameat2", "link:EPERM,renameat2:ENOSYS", false, false,
       "Couldn't backup %s.\n"},
      {"no links: link made by the rename but unlink refused",
       "link@1:EPERM,renameat2:EINVAL,unlink@1", false, false,
       "Couldn't backup %s.\n"},
      {"no links: disk full",
       "link:EPERM,write_budget=" + std::to_string(mark + 10), false, false,
       "R" + error_writing},
      {"backup exists, temporary file cannot be created", "tmpfile", false,
       true, "Couldn't open %s for writing.\n"},
      {"backup exists, disk full", "write_budget=" + std::to_string(mark + 10),
       false, true, "R" + error_writing},
      {"backup exists, rename onto the name fails", "rename", true, true,
       "R" + error_writing},
      {"image cannot be mapped or read", "mmap,read@2", false, false,
       "Error reading %s.\n"},
  };
  for (const UntouchedCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : testsupport::list_directory(dir.path)) {
      std::remove(dir.file(name).c_str());
    }
    write("app.exe", c.grows ? grown : in_place);
    write("list.txt", make_list(c.grows));
    if (c.backup_exists) write("app.exe.old", Bytes(9, 'b'));
    auto before = snapshot();
    const RunResult result = run_with_faults(c.faults, {"list.txt", "app.exe"});
    EXPECT_EQ(result.status, 0);
    std::string out = c.out;
    if (out[0] == 'R') out = replaced("%s", c.grows) + out.substr(1);
    EXPECT_EQ(result.out, expand(out));
    // out.txt is written in the rebuild stage, before anything can fail.
    if (c.out != "Error reading %s.\n") before.emplace_back("out.txt", kOutTxt);
    std::sort(before.begin(), before.end());
    EXPECT_EQ(snapshot(), before);  // no temporary file, every byte kept
  }
}

// The disk fills up at every stretch of the output in turn: headers, data
// area, zero padding and the sections moved behind a grown section.
TEST_F(FaultTest, DiskFullAnywhereInTheOutput) {
  for (bool grows : {false, true}) {
    const Bytes app = make_app(grows);
    const Bytes list = make_list(grows);
    const size_t output_size = clean_output(app, list).size();
    ASSERT_GT(output_size, 0u);
    std::vector<size_t> budgets;
    for (size_t at = 0; at < output_size; at += 131) budgets.push_back(at);
    budgets.push_back(output_size - 1);
    for (size_t budget : budgets) {
      SCOPED_TRACE((grows ? "grown, " : "in place, ") + std::to_string(budget));
      for (const std::string& name : testsupport::list_directory(dir.path)) {
        std::remove(dir.file(name).c_str());
      }
      write("app.exe", app);
      write("list.txt", list);
      const RunResult result = run_with_faults(
          "write_budget=" + std::to_string(kOutTxt.size() + budget),
          {"list.txt", "app.exe"});
      EXPECT_EQ(result.status, 0);
      EXPECT_EQ(result.out,
                replaced("app.exe", grows) + "Error writing app.exe.\n");
      const std::vector<std::pair<std::string, Bytes>> want = {
          {"app.exe", app}, {"list.txt", list}, {"out.txt", kOutTxt}};
      EXPECT_EQ(snapshot(), want);
    }
  }
}

TEST_F(FaultTest, UnreadableListEndsTheRunWithStatusTwo) {
  write("app.exe", make_app(false));
  write("list.txt", make_list(false));
  const auto before = snapshot();
  const RunResult result = run_with_faults("read@1", {"list.txt", "app.exe"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "Couldn't open list.txt\n");
  EXPECT_EQ(snapshot(), before);
}

// The fallbacks (a rename where links are missing, link and unlink where
// renameat2 is, a named temporary file) and a side file that cannot be
// created change nothing about the result.
TEST_F(FaultTest, RunsThatStillSucceed) {
  struct Case {
    const char* what;
    std::string faults;
    bool out_txt;
  };
  const Case cases[] = {
      {"no links: the backup is made by renaming", "link:EPERM", true},
      {"no links, no renameat2: renamed through link and unlink",
       "link@1:EPERM,renameat2:ENOSYS", true},
      {"no links, renameat2 unsupported by the file system",
       "link@1:EPERM,renameat2:EINVAL", true},
      {"no unnamed files: a named temporary file", "tmpfile:EOPNOTSUPP", true},
      {"directory cannot be flushed", "fsync@2", true},
      {"out.txt cannot be created", "open@3", false},
      {"image cannot be mapped: it is read instead", "mmap", true},
  };
  const Bytes list = make_list(false);
  // The large image is read into memory where it cannot be mapped: no page
  // is given back then, and the bytes are the same.
  for (const Bytes& app : {make_app(false), make_large_app()}) {
    const Bytes expected = clean_output(app, list);
    ASSERT_NE(expected, app);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(app.size()));
      for (const std::string& name : testsupport::list_directory(dir.path)) {
        std::remove(dir.file(name).c_str());
      }
      write("app.exe", app);
      write("list.txt", list);
      const RunResult result =
          run_with_faults(c.faults, {"list.txt", "app.exe"});
      EXPECT_EQ(result.status, 0);
      EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
      std::vector<std::pair<std::string, Bytes>> want = {
          {"app.exe", expected}, {"app.exe.old", app}, {"list.txt", list}};
      if (c.out_txt) want.emplace_back("out.txt", kOutTxt);
      EXPECT_EQ(snapshot(), want);
    }
  }
}

// A failure on one executable does not stop the next one.
TEST_F(FaultTest, NextExecutableIsStillProcessed) {
  const Bytes app = make_app(false);
  const Bytes list = make_list(false);
  const Bytes expected = clean_output(app, list);
  write("a.exe", app);
  write("b.exe", app);
  write("list.txt", list);
  // Writes: out.txt, a.exe's output (fails), out.txt, b.exe's output.
  const RunResult result =
      run_with_faults("write@2", {"list.txt", "a.exe", "b.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "1 strings replaced in a.exe.\nError writing a.exe.\n"
            "1 strings replaced in b.exe.\n");
  const std::vector<std::pair<std::string, Bytes>> want = {
      {"a.exe", app},
      {"b.exe", expected},
      {"b.exe.old", app},
      {"list.txt", list},
      {"out.txt", kOutTxt}};
  EXPECT_EQ(snapshot(), want);
}

// A backup given as the executable is not renamed; a failed write leaves the
// output name with what it held.
TEST_F(FaultTest, OldInputFailureKeepsTheExistingOutput) {
  const Bytes app = make_app(false);
  write("app.exe.old", app);
  write("app.exe", Bytes(33, 'o'));
  write("list.txt", make_list(false));
  auto before = snapshot();
  const RunResult result =
      run_with_faults("write@2", {"list.txt", "app.exe.old"});
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\nError writing app.exe.\n");
  before.emplace_back("out.txt", kOutTxt);
  std::sort(before.begin(), before.end());
  EXPECT_EQ(snapshot(), before);
}

// Two faults at once: the write fails and so does taking the backup back.
// Nothing is lost: the original bytes stay under the backup name.
TEST_F(FaultTest, FailedUndoKeepsTheOriginalUnderTheBackupName) {
  struct Case {
    const char* what;
    std::string faults;
    bool name_kept;  // the executable's own name still holds the original
  };
  const Case cases[] = {
      {"backup link cannot be removed", "write@2,unlink@1", true},
      {"no links: backup cannot be moved back",
       "link:EPERM,write@2,renameat2@2", false},
  };
  const Bytes app = make_app(false);
  const Bytes list = make_list(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : testsupport::list_directory(dir.path)) {
      std::remove(dir.file(name).c_str());
    }
    write("app.exe", app);
    write("list.txt", list);
    const RunResult result = run_with_faults(c.faults, {"list.txt", "app.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "1 strings replaced in app.exe.\nError writing app.exe.\n");
    std::vector<std::pair<std::string, Bytes>> want = {
        {"app.exe.old", app}, {"list.txt", list}, {"out.txt", kOutTxt}};
    if (c.name_kept) want.insert(want.begin(), {"app.exe", app});
    EXPECT_EQ(snapshot(), want);
  }
}

// Runs the fault-injection build until a call stalls, sends it a signal
// and returns the signal that ended it (0: it was not ended by one).
int interrupt_at_stall(const std::string& faults,
                       const std::vector<std::string>& args,
                       const std::string& cwd, int signal_number) {
  int notes[2];
  if (pipe(notes) != 0) return 0;
  setenv("UITRANS_TEST_FAULTS", faults.c_str(), 1);
  setenv("UITRANS_TEST_STALL_FD", std::to_string(notes[1]).c_str(), 1);
  std::vector<std::string> argv_copies = {UITRANS_FAULT_BINARY};
  argv_copies.insert(argv_copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(notes[0]);
    const int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  unsetenv("UITRANS_TEST_FAULTS");
  unsetenv("UITRANS_TEST_STALL_FD");
  close(notes[1]);
  char note = 0;
  // The note arrives once the process waits in the stalled call; an end of
  // file means it ended without reaching it.
  const bool stalled = pid > 0 && read(notes[0], &note, 1) == 1;
  close(notes[0]);
  if (stalled) kill(pid, signal_number);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return 0;
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// Interrupted anywhere in the write, the executable's name holds the whole
// original program and so does the backup if it is left; SIGINT and SIGTERM
// leave no backup and no temporary file, and SIGKILL no temporary file where
// it has no name until it is complete. Once the new program has its name
// (the directory is being flushed), an interruption keeps it.
TEST_F(FaultTest, InterruptedWriteLeavesBothNamesWhole) {
  const Bytes app = make_large_app();
  const Bytes list = make_list(false);
  const Bytes finished = clean_output(app, list);
  const size_t mark = kOutTxt.size();
  struct Point {
    const char* what;
    std::string faults;
    bool named_temp;  // the temporary file has a name while it is written
    bool renamed;     // the backup is the executable renamed: no links
    bool finished;    // the new program has taken the name already
  };
  const std::vector<Point> points = {
      {"before the first byte", "write_stall=" + std::to_string(mark), false,
       false, false},
      {"mid-write", "write_stall=" + std::to_string(mark + app.size() / 2),
       false, false, false},
      {"one byte short", "write_stall=" + std::to_string(mark + app.size() - 1),
       false, false, false},
      {"flushing the finished file", "fsync@1:STALL", false, false, false},
      {"named temporary file, mid-write",
       "tmpfile:EOPNOTSUPP,write_stall=" + std::to_string(mark + 5000), true,
       false, false},
      {"no links: backup made by renaming, mid-write",
       "link:EPERM,write_stall=" + std::to_string(mark + 5000), false, true,
       false},
      {"flushing the directory after the rename", "fsync@2:STALL", false, false,
       true},
  };
  for (const Point& point : points) {
    for (int signal_number : {SIGINT, SIGTERM, SIGKILL}) {
      SCOPED_TRACE(std::string(point.what) + ", signal " +
                   std::to_string(signal_number));
      if (signal_number == SIGKILL && point.named_temp) continue;
      for (const std::string& name : testsupport::list_directory(dir.path)) {
        std::remove(dir.file(name).c_str());
      }
      write("app.exe", app);
      write("list.txt", list);
      EXPECT_EQ(interrupt_at_stall(point.faults, {"list.txt", "app.exe"},
                                   dir.path, signal_number),
                signal_number);
      std::vector<std::pair<std::string, Bytes>> want = {
          {"app.exe", app}, {"list.txt", list}, {"out.txt", kOutTxt}};
      if (point.finished) {
        want = {{"app.exe", finished},
                {"app.exe.old", app},
                {"list.txt", list},
                {"out.txt", kOutTxt}};
      }
      // Killed outright, the backup stays; made by renaming, it is then the
      // only name of the original (the reason links are preferred).
      if (signal_number == SIGKILL && !point.finished) {
        want.insert(want.begin() + 1, {"app.exe.old", app});
        if (point.renamed) want.erase(want.begin());
      }
      const auto after = snapshot();
      EXPECT_TRUE(after == want) << "files: " << after.size();
    }
  }
}

// The executable shrinks while the tool holds it mapped: before the rebuild
// has read it ("Error reading"), or while the output is written ("Error
// writing", the backup taken back). The run goes on with the next one.
TEST_F(FaultTest, InputThatShrinksIsReportedAndTheRunGoesOn) {
  const Bytes app = make_large_app();
  const Bytes list = make_list(false);
  const Bytes expected = clean_output(app, list);
  struct Case {
    const char* what;
    std::string faults;
    size_t cut;  // the size the file is cut to
    std::string message;
  };
  const size_t near_end = app.size() - 100;  // within the last page
  const Case cases[] = {
      {"cut as soon as it is mapped", "shrink_on_map=4096", 4096,
       "Error reading a.exe.\n"},
      {"cut within its last page, which raises no fault",
       "shrink_on_map=" + std::to_string(near_end), near_end,
       "Error reading a.exe.\n"},
      {"cut when the rebuild gives back the pages of the menus read",
       "shrink_on_release=4096", 4096, "Error reading a.exe.\n"},
      {"cut while the output is written", "shrink_at=100000,shrink_to=4096",
       4096, "1 strings replaced in a.exe.\nError writing a.exe.\n"},
      {"cut within its last page while the output is written",
       "shrink_at=100000,shrink_to=" + std::to_string(near_end), near_end,
       "1 strings replaced in a.exe.\nError writing a.exe.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : testsupport::list_directory(dir.path)) {
      std::remove(dir.file(name).c_str());
    }
    write("a.exe", app);
    write("b.exe", app);
    write("list.txt", list);
    const RunResult result =
        run_with_faults(c.faults, {"list.txt", "a.exe", "b.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, c.message + "1 strings replaced in b.exe.\n");
    const Bytes cut(app.begin(), app.begin() + c.cut);
    const std::vector<std::pair<std::string, Bytes>> want = {
        {"a.exe", cut},     {"b.exe", expected},  {"b.exe.old", app},
        {"list.txt", list}, {"out.txt", kOutTxt},
    };
    const auto after = snapshot();
    EXPECT_TRUE(after == want) << "files: " << after.size();
  }
}

}  // namespace
