// SPDX-License-Identifier: MIT
// Files, temporary directories and child processes for the end-to-end tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/pe_builder.h"

namespace testsupport {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes away.
struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

bool write_file(const std::string& path, const Bytes& bytes);
std::optional<Bytes> read_file(const std::string& path);
bool file_exists(const std::string& path);  // any kind of file
// The names in a directory, sorted, without "." and "..".
std::vector<std::string> list_directory(const std::string& path);

struct RunOptions {
  std::string cwd;
  // Run as an unprivileged user when the tests run as root, so that
  // permission bits take effect.
  bool drop_privileges = false;
  // RLIMIT_FSIZE for the child (0: unchanged); SIGXFSZ is ignored so that
  // writes past it fail instead of killing the process.
  uint64_t file_size_limit = 0;
  // Translation runs write nothing to standard error; usage errors and
  // extraction do.
  bool allow_stderr = false;
};

struct RunResult {
  bool exited = false;  // false: killed by a signal, or could not start
  int status = -1;      // exit status when exited
  std::string out;
  std::string err;
};

RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const RunOptions& options);

inline constexpr uint32_t kUnprivilegedId = 65534;

}  // namespace testsupport
