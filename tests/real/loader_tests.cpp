// Loader checks: the probe (probe.c, a Windows program run under wine) maps
// an original fixture and its translated copy and prints their menus and
// dialogs as the Windows API builds them. The printouts must differ exactly
// by the listed texts. The translated 64-bit programs must still start. The
// fixtures cover the toolchain's layouts: resources rewritten in place, grown
// in the file only, grown in memory with .reloc (and, unstripped, the debug
// sections) moved up behind them, and grown as the last section. The probe
// maps each as an image, so a section table or image size that does not hold
// together makes it fail to load.
//
// These tests need the wine prefix set up by scripts/wine_env.sh, with the
// desktop held up by the probe (CTest does it as a fixture), and run under
// the label "loader".
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

struct Fixture {
  const char* name;
  bool grown;  // the translation grows the resource section in the file
};

const Fixture kFixtures[] = {
    {"app64.exe", false},      {"app32.exe", false},
    {"app64_grown.exe", true}, {"app64_shift.exe", true},
    {"app32_shift.exe", true}, {"app64_debug.exe", true},
    {"app64_last.exe", true},
};

void PrintTo(const Fixture& fixture, std::ostream* out) {
  *out << fixture.name;
}

std::string test_name(const ::testing::TestParamInfo<Fixture>& info) {
  std::string name = info.param.name;
  return name.substr(0, name.find('.'));
}

// Translates a copy of the fixture `name` in `dir` with the fixture list.
void translate(const testsupport::TempDir& dir, const Fixture& fixture) {
  const std::string name = fixture.name;
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  testsupport::write_file(dir.file("list.txt"),
                          real::list_file(real::fixture_translations()));
  testsupport::RunOptions options;
  options.cwd = dir.path;
  testsupport::RunResult run =
      testsupport::run_program(UITRANS_BINARY, {"list.txt", name}, options);
  ASSERT_EQ(run.out, real::translation_report(name, fixture.grown));
}

class LoaderCheck : public ::testing::TestWithParam<Fixture> {
 protected:
  testsupport::TempDir dir;
};

TEST_P(LoaderCheck, ExactlyTheListedTextsChange) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  // Every menu and dialog of the fixture is built by the loader.
  EXPECT_EQ(original.find("failed"), std::string::npos) << original;
  EXPECT_NE(original.find("dialog #300"), std::string::npos);
  const std::string expected =
      real::translate_printout(original, real::fixture_translations());
  ASSERT_NE(expected, original);

  translate(dir, GetParam());
  EXPECT_EQ(probe(dir.file(name)), expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LoaderCheck, ::testing::ValuesIn(kFixtures),
                         test_name);

// Only the 64-bit programs: 32-bit programs cannot run as processes here.
class TranslatedProgram : public ::testing::TestWithParam<Fixture> {};

TEST_P(TranslatedProgram, StillStarts) {
  testsupport::TempDir dir;
  translate(dir, GetParam());
  const std::string program = dir.file(GetParam().name);
  testsupport::RunResult quick = run_wine({program, "exit"}, dir.path);
  EXPECT_TRUE(quick.exited && quick.status == 0) << quick.err;
  // The running image finds its own menus and dialogs.
  testsupport::RunResult check = run_wine({program, "--check"}, dir.path);
  EXPECT_TRUE(check.exited && check.status == 0) << check.err;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TranslatedProgram,
                         ::testing::Values(kFixtures[0], kFixtures[2],
                                           kFixtures[3], kFixtures[5],
                                           kFixtures[6]),
                         test_name);

// Both fixtures come from one resource script: the loader must build the
// same menus and dialogs from the 32-bit and the 64-bit image.
TEST(LoaderFixtures, BothWordSizesPrintAlike) {
  EXPECT_EQ(probe(real::fixture_path("app32.exe")),
            probe(real::fixture_path("app64.exe")));
}

}  // namespace
