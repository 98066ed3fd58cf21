// SPDX-License-Identifier: MIT
#include "support/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  // Directories made read-only by a test must become writable again first.
  chmod(path, 0700);
  return remove(path);
}

int make_writable(const char* path, const struct stat* st, int type,
                  struct FTW*) {
  if (type == FTW_D || type == FTW_DNR) chmod(path, 0700);
  (void)st;
  return 0;
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/uitrans-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) {
    path = buffer.data();
    // Reachable by the unprivileged user some tests run the tool as.
    chmod(path.c_str(), 0777);
  }
}

TempDir::~TempDir() {
  if (path.empty()) return;
  nftw(path.c_str(), make_writable, 16, FTW_PHYS);
  nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

bool write_file(const std::string& path, const Bytes& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  fchmod(fd, 0666);
  return close(fd) == 0;
}

std::optional<Bytes> read_file(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  Bytes bytes;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  close(fd);
  return bytes;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_child(const std::string& program,
                             std::vector<char*>& argv,
                             const RunOptions& options, int out_fd,
                             int err_fd) {
  dup2(out_fd, STDOUT_FILENO);
  dup2(err_fd, STDERR_FILENO);
  const int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
  if (options.file_size_limit != 0) {
    signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
    struct rlimit limit;
    limit.rlim_cur = options.file_size_limit;
    limit.rlim_max = options.file_size_limit;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.drop_privileges && geteuid() == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
        setuid(kUnprivilegedId) != 0) {
      _exit(126);
    }
  }
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  execv(program.c_str(), argv.data());
  _exit(127);
}

void drain(int out_fd, int err_fd, std::string* out, std::string* err) {
  struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err)->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const RunOptions& options) {
  RunResult result;
  std::vector<std::string> arg_copies;
  arg_copies.push_back(program);
  arg_copies.insert(arg_copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : arg_copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    exec_child(program, argv, options, out_pipe[1], err_pipe[1]);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (pid < 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }
  drain(out_pipe[0], err_pipe[0], &result.out, &result.err);
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wait_status)) {
    result.exited = true;
    result.status = WEXITSTATUS(wait_status);
  }
  return result;
}

}  // namespace testsupport
