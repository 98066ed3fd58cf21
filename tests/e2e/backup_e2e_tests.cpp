// SPDX-License-Identifier: MIT
// Backup naming, repeated runs, and failures while writing: whatever fails,
// every file keeps what it held.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using namespace testsupport;

class BackupTest : public E2eTest {
 protected:
  ResourceImage app =
      make_resource_image(one_menu_tree(sample_menu(u"&Open", u"&About")));
  Bytes rewritten(const std::u16string& open_text,
                  const std::u16string& about_text) const {
    return expected_output(
               app, repack_of(
                        app, {{kMenuItem, sample_menu(open_text, about_text)}}))
        .bytes;
  }
};

TEST_F(BackupTest, RepeatedRunsKeepTheOldestBackup) {
  write("app.exe", app.image.bytes);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  RunResult result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  const Bytes first = rewritten(u"&Load", u"&About");
  EXPECT_BYTES(read("app.exe"), first);
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);

  // A second list still finds a text: the backup stays as it was.
  write("list.txt", make_pair_list({{u"&About", u"&Info"}}));
  result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  const Bytes second = read("app.exe");
  const auto view = read_resources(second);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->items.at({rid(4), rid(1), rid(0x409)}),
            sample_menu(u"&Load", u"&Info"));
  EXPECT_EQ(second.size(), app.image.bytes.size());
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);

  // Nothing left to find: nothing changes.
  result = run({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), second);
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
  EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "app.exe.old",
                                               "list.txt", "out.txt"}));
}

struct NameCase {
  std::string input;
  std::string output;  // written, and printed in the messages
  std::string backup;  // holds the original afterwards
};

TEST_F(BackupTest, BackupNamesTable) {
  const std::vector<NameCase> cases = {
      {"app.exe", "app.exe", "app.exe.old"},
      {"app.exe.old", "app.exe", "app.exe.old"},
      {"a.old.exe", "a.old.exe", "a.old.exe.old"},
      {"x.old.old", "x.old.old", "x.old.old.old"},
      {"app.OLD", "app.OLD", "app.OLD.old"},
      {"noext", "noext", "noext.old"},
      {"app.olde", "app.olde", "app.olde.old"},
      {"sub/app.exe.old", "sub/app.exe", "sub/app.exe.old"},
      {"./v.old", "./v", "./v.old"},
      // Only the file's own name counts, not the directory's.
      {"v1.old/app.exe.old", "v1.old/app.exe", "v1.old/app.exe.old"},
      {"v1.old/app.exe", "v1.old/app.exe", "v1.old/app.exe.old"},
      {"v1.old/x.old.old", "v1.old/x.old.old", "v1.old/x.old.old.old"},
      {"v1.old/v2.old/a", "v1.old/v2.old/a", "v1.old/v2.old/a.old"},
  };
  ASSERT_EQ(mkdir(path("sub").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(path("v1.old").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(path("v1.old/v2.old").c_str(), 0777), 0);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  const Bytes expected = rewritten(u"&Load", u"&About");
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.input);
    write(c.input, app.image.bytes);
    const RunResult result = run({"list.txt", c.input});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1 strings replaced in " + c.output + ".\n");
    EXPECT_BYTES(read(c.output), expected);
    EXPECT_BYTES(read(c.backup), app.image.bytes);
    std::remove(path(c.output).c_str());
    std::remove(path(c.backup).c_str());
  }
  EXPECT_EQ(files(),
            (std::vector<std::string>{"list.txt", "out.txt", "sub", "v1.old"}));
  EXPECT_TRUE(list_directory(path("sub")).empty());
  EXPECT_EQ(list_directory(path("v1.old")), std::vector<std::string>{"v2.old"});
}

TEST_F(BackupTest, ShortenedNameInTheWarningToo) {
  const std::u16string long_text(600, u'g');
  write("a.exe.old", app.image.bytes);
  write("list.txt", make_pair_list({{u"&Open", long_text}}));
  const RunResult result = run({"list.txt", "a.exe.old"});
  EXPECT_EQ(result.out,
            "1 strings replaced in a.exe.\n"
            " Warning: a.exe string tables resized -\n"
            "\tstill experimental, could cause corruption.\n");
  EXPECT_BYTES(read("a.exe"), rewritten(long_text, u"&About"));
  EXPECT_BYTES(read("a.exe.old"), app.image.bytes);
}

TEST_F(BackupTest, OldInputOverwritesAnExistingOutput) {
  write("a.exe.old", app.image.bytes);
  write("a.exe", Bytes(10, 'z'));
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  const RunResult result = run({"list.txt", "a.exe.old"});
  EXPECT_EQ(result.out, "1 strings replaced in a.exe.\n");
  EXPECT_BYTES(read("a.exe"), rewritten(u"&Load", u"&About"));
  EXPECT_BYTES(read("a.exe.old"), app.image.bytes);
}

TEST_F(BackupTest, LongNamesWork) {
  const std::string name = std::string(240, 'n') + ".exe";  // 248 with .old
  write(name, app.image.bytes);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  const RunResult result = run({"list.txt", name});
  EXPECT_EQ(result.out, "1 strings replaced in " + name + ".\n");
  EXPECT_BYTES(read(name), rewritten(u"&Load", u"&About"));
  EXPECT_BYTES(read(name + ".old"), app.image.bytes);

  // A path longer than 280 characters.
  std::string deep = "d";
  ASSERT_EQ(mkdir(path(deep).c_str(), 0777), 0);
  for (int i = 0; i < 6; ++i) {
    deep += "/" + std::string(60, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(path(deep).c_str(), 0777), 0);
  }
  const std::string deep_exe = deep + "/app.exe";
  write(deep_exe, app.image.bytes);
  const RunResult deep_result = run({"list.txt", deep_exe});
  EXPECT_EQ(deep_result.out, "1 strings replaced in " + deep_exe + ".\n");
  EXPECT_BYTES(read(deep_exe), rewritten(u"&Load", u"&About"));
  EXPECT_BYTES(read(deep_exe + ".old"), app.image.bytes);
}

// Permission bits stop the tool only when it does not run as root, so
// these run it as an unprivileged user when the tests run as root.
class PermissionTest : public BackupTest {
 protected:
  void SetUp() override {
    if (kWindowsProgram && geteuid() == 0) {
      GTEST_SKIP() << "wine does not run as another user than its prefix's";
    }
    write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
    ASSERT_EQ(mkdir(path("ro").c_str(), 0777), 0);
  }
  RunResult run_unprivileged(const std::vector<std::string>& args) {
    RunOptions options;
    options.drop_privileges = true;
    return run(args, options);
  }
  void make_read_only(const std::string& name) {
    ASSERT_EQ(chmod(path(name).c_str(), 0555), 0);
  }
};

// The new program keeps the owner and group of the one it replaces where
// the tool may set them (as root); set-user-ID and set-group-ID bits stay
// only with the same owner and group. The backup is the original file.
TEST_F(PermissionTest, OwnerGroupAndModeTable) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as others";
  constexpr uid_t kRoot = 0;
  constexpr uid_t kOther = kUnprivilegedId;
  struct Case {
    const char* what;
    bool as_root;  // else as the unprivileged user
    uid_t owner;
    gid_t group;
    mode_t mode;
    uid_t want_owner;
    gid_t want_group;
    mode_t want_mode;
  };
  const Case cases[] = {
      {"root, another user's set-user-ID program", true, kOther, kOther, 06755,
       kOther, kOther, 06755},
      {"root, another user's file in group root", true, kOther, kRoot, 02750,
       kOther, kRoot, 02750},
      {"root, its own file", true, kRoot, kRoot, 04700, kRoot, kRoot, 04700},
      {"root, a plain file of another user", true, kOther, kOther, 0640, kOther,
       kOther, 0640},
      {"user, root's set-user-ID program", false, kRoot, kRoot, 06755, kOther,
       kOther, 0755},
      {"user, its own set-user-ID program", false, kOther, kOther, 06755,
       kOther, kOther, 06755},
      {"user, its own file in a group it is not in", false, kOther, kRoot,
       02755, kOther, kOther, 0755},
  };
  const Bytes expected = rewritten(u"&Load", u"&About");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write("app.exe", app.image.bytes);
    ASSERT_EQ(chown(path("app.exe").c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path("app.exe").c_str(), c.mode), 0);
    const RunResult result = c.as_root
                                 ? run({"list.txt", "app.exe"})
                                 : run_unprivileged({"list.txt", "app.exe"});
    EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
    EXPECT_BYTES(read("app.exe"), expected);
    EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
    struct stat made;
    struct stat backup;
    ASSERT_EQ(stat(path("app.exe").c_str(), &made), 0);
    ASSERT_EQ(stat(path("app.exe.old").c_str(), &backup), 0);
    EXPECT_EQ(made.st_uid, c.want_owner);
    EXPECT_EQ(made.st_gid, c.want_group);
    EXPECT_EQ(made.st_mode & 07777, c.want_mode);
    EXPECT_EQ(backup.st_uid, c.owner);
    EXPECT_EQ(backup.st_mode & 07777, c.mode);
    std::remove(path("app.exe").c_str());
    std::remove(path("app.exe.old").c_str());
    std::remove(path("out.txt").c_str());
  }
}

TEST_F(PermissionTest, BackupRenameFails) {
  write("ro/app.exe", app.image.bytes);
  make_read_only("ro");
  const RunResult result = run_unprivileged({"list.txt", "ro/app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Couldn't backup ro/app.exe.\n");
  EXPECT_EQ(list_directory(path("ro")), std::vector<std::string>{"app.exe"});
  EXPECT_BYTES(read("ro/app.exe"), app.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(PermissionTest, UnreadableBackupIsNotReplaced) {
  write("app.exe", app.image.bytes);
  write("app.exe.old", Bytes(7, 'k'));
  ASSERT_EQ(chmod(path("app.exe.old").c_str(), 0), 0);
  const RunResult result = run_unprivileged({"list.txt", "app.exe"});
  EXPECT_EQ(result.out, "Couldn't backup app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_BYTES(read("app.exe.old"), Bytes(7, 'k'));
  EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "app.exe.old",
                                               "list.txt", "out.txt", "ro"}));
}

TEST_F(PermissionTest, OutputCannotBeCreated) {
  // The input is its own backup; the directory takes no new file.
  write("ro/app.exe.old", app.image.bytes);
  make_read_only("ro");
  const RunResult result = run_unprivileged({"list.txt", "ro/app.exe.old"});
  EXPECT_EQ(result.out, "Couldn't open ro/app.exe for writing.\n");
  EXPECT_EQ(list_directory(path("ro")),
            std::vector<std::string>{"app.exe.old"});
  EXPECT_BYTES(read("ro/app.exe.old"), app.image.bytes);
}

TEST_F(BackupTest, OutputNameIsADirectory) {
  write("app.exe.old", app.image.bytes);
  ASSERT_EQ(mkdir(path("app.exe").c_str(), 0777), 0);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  const RunResult result = run({"list.txt", "app.exe.old"});
  EXPECT_EQ(result.out, "Couldn't open app.exe for writing.\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "app.exe.old",
                                               "list.txt", "out.txt"}));
  EXPECT_TRUE(list_directory(path("app.exe")).empty());
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
}

// The native program's write failures, the undo of the backup among them, are
// a table of injected faults in tests/hardening; the Windows program, which
// that table cannot reach, is checked here with a file size limit.
#ifdef UITRANS_RUNNER
TEST_F(BackupTest, WriteErrorUndoesTheBackup) {
  // Files cannot grow past 1 KiB in the child; the image is larger.
  ASSERT_GT(app.image.bytes.size(), 1024u);
  write("app.exe", app.image.bytes);
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  RunOptions options;
  options.file_size_limit = 1024;
  const RunResult result = run({"list.txt", "app.exe"}, options);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\n"
            "Error writing app.exe.\n");
  EXPECT_EQ(files(),
            (std::vector<std::string>{"app.exe", "list.txt", "out.txt"}));
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
}
#endif

TEST_F(BackupTest, WriteErrorLeavesAnExistingBackupAlone) {
  write("app.exe", app.image.bytes);
  write("app.exe.old", Bytes(5, 'b'));
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  RunOptions options;
  options.file_size_limit = 1024;
  const RunResult result = run({"list.txt", "app.exe", "app.exe"}, options);
  EXPECT_EQ(result.out,
            "1 strings replaced in app.exe.\n"
            "Error writing app.exe.\n"
            "1 strings replaced in app.exe.\n"
            "Error writing app.exe.\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "app.exe.old",
                                               "list.txt", "out.txt"}));
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_BYTES(read("app.exe.old"), Bytes(5, 'b'));
}

}  // namespace
}  // namespace e2e
