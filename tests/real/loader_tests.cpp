// Loader checks: the probe (probe.c, a Windows program run under wine) maps
// an original fixture and its translated copy and prints their menus and
// dialogs as the Windows API builds them. The printouts must differ exactly
// by the listed texts. The translated 64-bit program must still start.
//
// These tests need the wine prefix set up by scripts/wine_env.sh (CTest does
// it as a fixture) and run under the label "loader".
#include <gtest/gtest.h>

#include "real/real_support.h"

namespace {

using real::Bytes;

// Runs a Windows program in the prefix of scripts/wine_env.sh.
testsupport::RunResult run_wine(const std::vector<std::string>& args,
                                const std::string& cwd) {
  std::vector<std::string> command = {
      "WINEPREFIX=" UITRANS_WINE_PREFIX, "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=mscoree,mshtml=", UITRANS_WINE};
  command.insert(command.end(), args.begin(), args.end());
  testsupport::RunOptions options;
  options.cwd = cwd;
  return testsupport::run_program("/usr/bin/env", command, options);
}

// The probe's printout of `target`; fails the test when the probe fails.
std::string probe(const std::string& target) {
  testsupport::RunResult run = run_wine({UITRANS_PROBE, target}, "");
  EXPECT_TRUE(run.exited && run.status == 0) << target << "\n" << run.out;
  return run.out;
}

// Translates a copy of the fixture `name` in `dir` with the fixture list.
void translate(const testsupport::TempDir& dir, const std::string& name) {
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  testsupport::write_file(dir.file("list.txt"),
                          real::list_file(real::fixture_translations()));
  testsupport::RunOptions options;
  options.cwd = dir.path;
  testsupport::RunResult run =
      testsupport::run_program(UITRANS_BINARY, {"list.txt", name}, options);
  // The in-place layout: no growth warning.
  ASSERT_EQ(run.out, std::to_string(real::kFixtureHits) +
                         " strings replaced in " + name + ".\n");
}

class LoaderCheck : public ::testing::TestWithParam<const char*> {
 protected:
  testsupport::TempDir dir;
};

TEST_P(LoaderCheck, ExactlyTheListedTextsChange) {
  const std::string original = probe(real::fixture_path(GetParam()));
  // Every menu and dialog of the fixture is built by the loader.
  EXPECT_EQ(original.find("failed"), std::string::npos) << original;
  EXPECT_NE(original.find("dialog #300"), std::string::npos);
  const std::string expected =
      real::translate_printout(original, real::fixture_translations());
  ASSERT_NE(expected, original);

  translate(dir, GetParam());
  EXPECT_EQ(probe(dir.file(GetParam())), expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LoaderCheck,
                         ::testing::Values("app64.exe", "app32.exe"),
                         [](const auto& info) {
                           return std::string(info.param).substr(0, 5);
                         });

// Only the 64-bit program: 32-bit programs cannot run as processes here.
TEST(LoaderFixtures, TranslatedProgramStillStarts) {
  testsupport::TempDir dir;
  translate(dir, "app64.exe");
  const std::string program = dir.file("app64.exe");
  testsupport::RunResult quick = run_wine({program, "exit"}, dir.path);
  EXPECT_TRUE(quick.exited && quick.status == 0) << quick.err;
  // The running image finds its own menus and dialogs.
  testsupport::RunResult check = run_wine({program, "--check"}, dir.path);
  EXPECT_TRUE(check.exited && check.status == 0) << check.err;
}

// Both fixtures come from one resource script: the loader must build the
// same menus and dialogs from the 32-bit and the 64-bit image.
TEST(LoaderFixtures, BothWordSizesPrintAlike) {
  EXPECT_EQ(probe(real::fixture_path("app32.exe")),
            probe(real::fixture_path("app64.exe")));
}

}  // namespace
