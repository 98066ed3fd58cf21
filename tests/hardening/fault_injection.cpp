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
//   write_budget=N   writes accept N bytes in all, then the disk is full
// OP is one of open, read, write (gathered writes too), fsync, close, mkostemp,
// rename, renameat2, link, unlink, mmap.
#include <fcntl.h>
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
int __real_unlink(const char* path);
void* __real_mmap(void* address, size_t size, int protection, int flags, int fd,
                  off_t offset);
}

namespace {

enum Op {
  kOpen,
  kRead,
  kWrite,
  kFsync,
  kClose,
  kMkostemp,
  kRename,
  kRenameat2,
  kLink,
  kUnlink,
  kMmap,
  kOpCount
};

struct OpInfo {
  const char* name;
  int default_errno;
};

const OpInfo kOps[kOpCount] = {
    {"open", EACCES},   {"read", EIO},         {"write", ENOSPC},
    {"fsync", EIO},     {"close", EIO},        {"mkostemp", EACCES},
    {"rename", EACCES}, {"renameat2", EACCES}, {"link", EPERM},
    {"unlink", EACCES}, {"mmap", ENODEV},
};

struct ErrnoName {
  const char* name;
  int value;
};

const ErrnoName kErrnos[] = {
    {"EACCES", EACCES}, {"ENOSPC", ENOSPC}, {"EIO", EIO},
    {"ENOSYS", ENOSYS}, {"EINVAL", EINVAL}, {"EXDEV", EXDEV},
    {"EPERM", EPERM},   {"EEXIST", EEXIST}, {"EROFS", EROFS},
    {"ENODEV", ENODEV},
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

Plan read_plan() {
  Plan plan;
  const char* text = std::getenv("UITRANS_TEST_FAULTS");
  std::string rest = text != nullptr ? text : "";
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    if (item.empty()) continue;
    const std::string budget = "write_budget=";
    if (item.compare(0, budget.size(), budget) == 0) {
      plan.has_budget = true;
      plan.write_budget =
          std::strtoull(item.c_str() + budget.size(), nullptr, 10);
    } else {
      add_fault(&plan, item);
    }
  }
  return plan;
}

Plan& plan() {
  static Plan the_plan = read_plan();
  return the_plan;
}

// Counts the call; true (with errno set) when it is to fail.
bool should_fail(Op op) {
  Plan& p = plan();
  uint64_t call = ++p.calls[op];
  for (const Fault& fault : p.faults) {
    if (fault.op == op && (fault.call == 0 || fault.call == call)) {
      errno = fault.error;
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
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
  if (p.has_budget && fd > STDERR_FILENO) {
    if (p.write_budget == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (size > p.write_budget) size = static_cast<size_t>(p.write_budget);
  }
  ssize_t written = __real_write(fd, buffer, size);
  if (p.has_budget && fd > STDERR_FILENO && written > 0) {
    p.write_budget -= static_cast<uint64_t>(written);
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

int __wrap_unlink(const char* path) {
  if (should_fail(kUnlink)) return -1;
  return __real_unlink(path);
}

void* __wrap_mmap(void* address, size_t size, int protection, int flags, int fd,
                  off_t offset) {
  if (should_fail(kMmap)) return MAP_FAILED;
  return __real_mmap(address, size, protection, flags, fd, offset);
}

}  // extern "C"
