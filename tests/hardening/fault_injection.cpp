// SPDX-License-Identifier: MIT
// Fault injection for a test-only build of uitrans. The binary is linked
// with --wrap for the C library calls the POSIX file operations make, so
// every call passes through here first and can be made to fail as a full
// disk, a read-only directory or a failing rename would make it fail. The
// shipped binary is linked without any of this.
//
// The faults come from UITRANS_TEST_FAULTS, a comma-separated list:
//   OP          every call of OP fails
//   OP@N        the Nth call of OP (counting from 1) fails
//   ...:ERRNO   with this errno (a name below) instead of OP's usual one
//   ...:STALL   the call does not return: it stalls (see below)
//   write_budget=N   writes accept N bytes in all, then the disk is full
//   write_stall=N    writes accept N bytes in all, then the next one stalls
//   shrink_on_map=N  the file is cut to N bytes as soon as it is mapped
//   shrink_at=B,shrink_to=N  ... or once writes have accepted B bytes in all
//   shrink_on_release=N      ... or when the first of its pages are given
//                            back (madvise MADV_DONTNEED)
// OP is one of open, tmpfile (an open with O_TMPFILE), read, write (gathered
// writes too), fsync, close, mkostemp, rename, renameat2, link, linkat,
// unlink, mmap.
//
// A stalled call writes one byte to the descriptor UITRANS_TEST_STALL_FD
// names, so that the test knows the process is waiting there, and then waits
// for a signal to end the process.
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
int __real_open(const char* path, int flags, ...);
ssize_t __real_read(int fd, void* buffer, size_t size);
ssize_t __real_write(int fd, const void* buffer, size_t size);
int __real_fsync(int fd);
int __real_close(int fd);
int __real_mkostemp(char* pattern, int flags);
int __real_rename(const char* from, const char* to);
long __real_syscall(long number, ...);
int __real_link(const char* from, const char* to);
int __real_linkat(int from_dir, const char* from, int to_dir, const char* to,
                  int flags);
int __real_unlink(const char* path);
void* __real_mmap(void* address, size_t size, int protection, int flags, int fd,
                  off_t offset);
int __real_madvise(void* address, size_t size, int advice);
}

namespace {

enum Op {
  kOpen,
  kTmpfile,
  kRead,
  kWrite,
  kFsync,
  kClose,
  kMkostemp,
  kRename,
  kRenameat2,
  kLink,
  kLinkat,
  kUnlink,
  kMmap,
  kOpCount
};

struct OpInfo {
  const char* name;
  int default_errno;
};

const OpInfo kOps[kOpCount] = {
    {"open", EACCES},     {"tmpfile", EACCES}, {"read", EIO},
    {"write", ENOSPC},    {"fsync", EIO},      {"close", EIO},
    {"mkostemp", EACCES}, {"rename", EACCES},  {"renameat2", EACCES},
    {"link", EPERM},      {"linkat", EACCES},  {"unlink", EACCES},
    {"mmap", ENODEV},
};

constexpr int kStall = -1;  // in place of an errno: the call stalls

struct ErrnoName {
  const char* name;
  int value;
};

const ErrnoName kErrnos[] = {
    {"EACCES", EACCES}, {"ENOSPC", ENOSPC},         {"EIO", EIO},
    {"ENOSYS", ENOSYS}, {"EINVAL", EINVAL},         {"EXDEV", EXDEV},
    {"EPERM", EPERM},   {"EEXIST", EEXIST},         {"EROFS", EROFS},
    {"ENODEV", ENODEV}, {"EOPNOTSUPP", EOPNOTSUPP}, {"STALL", kStall},
};

struct Fault {
  Op op = kOpen;
  uint64_t call = 0;  // 0: every call
  int error = 0;
};

struct Plan {
  std::vector<Fault> faults;
  bool has_budget = false;
  uint64_t write_budget = 0;
  bool has_stall = false;
  uint64_t stall_after = 0;  // bytes written before writes stall
  bool shrink_on_map = false;
  bool shrink_on_release = false;
  bool has_shrink_at = false;
  uint64_t shrink_at = 0;  // bytes written before the file is cut
  uint64_t shrink_to = 0;  // the size it is cut to
  int mapped_fd = -1;      // a descriptor of the file mapped last
  uint64_t written = 0;    // bytes written to files in all
  uint64_t calls[kOpCount] = {};
};

int errno_named(const std::string& name) {
  for (const ErrnoName& known : kErrnos) {
    if (name == known.name) return known.value;
  }
  std::abort();  // a typo in a test must not pass silently
}

void add_fault(Plan* plan, const std::string& item) {
  std::string spec = item;
  Fault fault;
  size_t colon = spec.find(':');
  if (colon != std::string::npos) {
    fault.error = errno_named(spec.substr(colon + 1));
    spec.resize(colon);
  }
  size_t at = spec.find('@');
  if (at != std::string::npos) {
    fault.call = std::strtoull(spec.c_str() + at + 1, nullptr, 10);
    spec.resize(at);
  }
  for (int op = 0; op < kOpCount; ++op) {
    if (spec == kOps[op].name) {
      fault.op = static_cast<Op>(op);
      if (fault.error == 0) fault.error = kOps[op].default_errno;
      plan->faults.push_back(fault);
      return;
    }
  }
  std::abort();
}

// The NAME=N settings; false for anything else.
bool read_setting(Plan* plan, const std::string& item) {
  size_t equals = item.find('=');
  if (equals == std::string::npos) return false;
  std::string name = item.substr(0, equals);
  uint64_t value = std::strtoull(item.c_str() + equals + 1, nullptr, 10);
  if (name == "write_budget") {
    plan->has_budget = true;
    plan->write_budget = value;
  } else if (name == "write_stall") {
    plan->has_stall = true;
    plan->stall_after = value;
  } else if (name == "shrink_on_map") {
    plan->shrink_on_map = true;
    plan->shrink_to = value;
  } else if (name == "shrink_on_release") {
    plan->shrink_on_release = true;
    plan->shrink_to = value;
  } else if (name == "shrink_at") {
    plan->has_shrink_at = true;
    plan->shrink_at = value;
  } else if (name == "shrink_to") {
    plan->shrink_to = value;
  } else {
    std::abort();
  }
  return true;
}

Plan read_plan() {
  Plan plan;
  const char* text = std::getenv("UITRANS_TEST_FAULTS");
  std::string rest = text != nullptr ? text : "";
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    if (item.empty()) continue;
    if (!read_setting(&plan, item)) add_fault(&plan, item);
  }
  return plan;
}

Plan& plan() {
  static Plan the_plan = read_plan();
  return the_plan;
}

// Tells the test that the process waits here, then waits for the signal
// that ends it.
[[noreturn]] void stall() {
  const char* fd_text = std::getenv("UITRANS_TEST_STALL_FD");
  if (fd_text != nullptr) {
    const char note = 's';
    (void)!__real_write(std::atoi(fd_text), &note, 1);
  }
  for (;;) pause();
}

// Counts the call; true (with errno set) when it is to fail.
bool should_fail(Op op) {
  Plan& p = plan();
  uint64_t call = ++p.calls[op];
  for (const Fault& fault : p.faults) {
    if (fault.op == op && (fault.call == 0 || fault.call == call)) {
      if (fault.error == kStall) stall();
      errno = fault.error;
      return true;
    }
  }
  return false;
}

// Cuts the file mapped last short, as another process truncating it would.
void shrink_mapped_file() {
  Plan& p = plan();
  if (p.mapped_fd < 0) return;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", p.mapped_fd);
  int writable = __real_open(path, O_WRONLY, 0);
  if (writable < 0 || ftruncate(writable, off_t(p.shrink_to)) != 0) {
    std::abort();
  }
  __real_close(writable);
  __real_close(p.mapped_fd);
  p.mapped_fd = -1;
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  bool has_mode = (flags & O_CREAT) != 0;
#ifdef O_TMPFILE
  has_mode = has_mode || (flags & O_TMPFILE) == O_TMPFILE;
#endif
  if (has_mode) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
#ifdef O_TMPFILE
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    if (should_fail(kTmpfile)) return -1;
    return __real_open(path, flags, mode);
  }
#endif
  if (should_fail(kOpen)) return -1;
  return __real_open(path, flags, mode);
}

ssize_t __wrap_read(int fd, void* buffer, size_t size) {
  if (should_fail(kRead)) return -1;
  return __real_read(fd, buffer, size);
}

// A full disk takes what still fits (a short write), then refuses.
ssize_t __wrap_write(int fd, const void* buffer, size_t size) {
  if (should_fail(kWrite)) return -1;
  Plan& p = plan();
  if (fd > STDERR_FILENO) {
    if (p.has_shrink_at && p.written >= p.shrink_at) {
      p.has_shrink_at = false;
      shrink_mapped_file();
    }
    if (p.has_stall && p.written >= p.stall_after) stall();
    if (p.has_stall && size > p.stall_after - p.written) {
      size = static_cast<size_t>(p.stall_after - p.written);
    }
  }
  if (p.has_budget && fd > STDERR_FILENO) {
    if (p.write_budget == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (size > p.write_budget) size = static_cast<size_t>(p.write_budget);
  }
  ssize_t written = __real_write(fd, buffer, size);
  if (fd > STDERR_FILENO && written > 0) {
    p.written += static_cast<uint64_t>(written);
    if (p.has_budget) p.write_budget -= static_cast<uint64_t>(written);
  }
  return written;
}

// A gathered write goes piece by piece through the write above, so that a
// full disk cuts it short at the same byte and write@N counts its calls.
ssize_t __wrap_writev(int fd, const struct iovec* vectors, int count) {
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    ssize_t put = __wrap_write(fd, vectors[i].iov_base, vectors[i].iov_len);
    if (put < 0) return total > 0 ? total : -1;
    total += put;
    if (static_cast<size_t>(put) < vectors[i].iov_len) break;
  }
  return total;
}

int __wrap_fsync(int fd) {
  if (should_fail(kFsync)) return -1;
  return __real_fsync(fd);
}

int __wrap_close(int fd) {
  if (should_fail(kClose)) {
    __real_close(fd);  // as on Linux: the descriptor is gone all the same
    return -1;
  }
  return __real_close(fd);
}

int __wrap_mkostemp(char* pattern, int flags) {
  if (should_fail(kMkostemp)) return -1;
  return __real_mkostemp(pattern, flags);
}

int __wrap_rename(const char* from, const char* to) {
  if (should_fail(kRename)) return -1;
  return __real_rename(from, to);
}

// The only system call made directly is renameat2.
long __wrap_syscall(long number, ...) {
  va_list args;
  va_start(args, number);
  long a = va_arg(args, long);
  long b = va_arg(args, long);
  long c = va_arg(args, long);
  long d = va_arg(args, long);
  long e = va_arg(args, long);
  va_end(args);
#ifdef SYS_renameat2
  if (number == SYS_renameat2 && should_fail(kRenameat2)) return -1;
#endif
  return __real_syscall(number, a, b, c, d, e);
}

int __wrap_link(const char* from, const char* to) {
  if (should_fail(kLink)) return -1;
  return __real_link(from, to);
}

int __wrap_linkat(int from_dir, const char* from, int to_dir, const char* to,
                  int flags) {
  if (should_fail(kLinkat)) return -1;
  return __real_linkat(from_dir, from, to_dir, to, flags);
}

int __wrap_unlink(const char* path) {
  if (should_fail(kUnlink)) return -1;
  return __real_unlink(path);
}

void* __wrap_mmap(void* address, size_t size, int protection, int flags, int fd,
                  off_t offset) {
  if (should_fail(kMmap)) return MAP_FAILED;
  void* mapped = __real_mmap(address, size, protection, flags, fd, offset);
  Plan& p = plan();
  bool shrinks = p.shrink_on_map || p.shrink_on_release || p.has_shrink_at;
  if (mapped != MAP_FAILED && fd >= 0 && shrinks) {
    p.mapped_fd = dup(fd);
    if (p.shrink_on_map) {
      p.shrink_on_map = false;
      shrink_mapped_file();
    }
  }
  return mapped;
}

int __wrap_madvise(void* address, size_t size, int advice) {
  Plan& p = plan();
  if (p.shrink_on_release && advice == MADV_DONTNEED) {
    p.shrink_on_release = false;
    shrink_mapped_file();
  }
  return __real_madvise(address, size, advice);
}

}  // extern "C"
