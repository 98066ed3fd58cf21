// SPDX-License-Identifier: MIT
// Replays the fuzzing seed corpus and every input a fuzzer once failed on
// through the same property checks the fuzz targets run, so that each finding
// stays fixed in the ordinary (and the sanitizer) test run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "support/files.h"

namespace {

using Check = void (*)(const uint8_t*, size_t);

struct Target {
  std::string name;
  Check check;
};

const Target kTargets[] = {
    {"list", fuzzsupport::check_list_input},
    {"image", fuzzsupport::check_image_input},
    {"structured", fuzzsupport::check_structured_input},
};

// Runs every file of tests/fuzz/<kind>/<target>; returns how many there were.
size_t replay(const std::string& kind, const Target& target) {
  const std::string dir =
      std::string(UITRANS_FUZZ_DIR) + "/" + kind + "/" + target.name;
  size_t count = 0;
  for (const std::string& name : testsupport::list_directory(dir)) {
    SCOPED_TRACE(dir + "/" + name);
    const auto bytes = testsupport::read_file(dir + "/" + name);
    if (!bytes.has_value()) {
      ADD_FAILURE() << "cannot read " << name;
      continue;
    }
    target.check(bytes->data(), bytes->size());
    ++count;
  }
  return count;
}

TEST(FuzzReplay, SeedCorpusKeepsItsProperties) {
  for (const Target& target : kTargets) {
    SCOPED_TRACE(target.name);
    EXPECT_GT(replay("corpus", target), 0u);
  }
}

TEST(FuzzReplay, PastFindingsStayFixed) {
  for (const Target& target : kTargets) {
    SCOPED_TRACE(target.name);
    replay("regressions", target);
  }
}

}  // namespace
