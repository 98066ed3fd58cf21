// SPDX-License-Identifier: MIT
// POSIX implementation of the platform file operations.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/file_ops.h"

#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace uitrans::platform {

namespace {

int fd_of(FileHandle file) { return static_cast<int>(file.value); }

bool read_all_from(int fd, uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// renameat2(RENAME_NOREPLACE) where the kernel and filesystem offer it.
int rename_noreplace_syscall(const char* from, const char* to) {
#if defined(__linux__) && defined(SYS_renameat2)
  constexpr unsigned kRenameNoReplace = 1;
  return static_cast<int>(
      syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kRenameNoReplace));
#else
  (void)from;
  (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

NativeString directory_of(const NativeString& path) {
  size_t slash = path.rfind('/');
  if (slash == NativeString::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{static_cast<uint64_t>(info.st_dev),
                      static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

bool open_for_reading(const NativeString& path, FileHandle* out) {
  // Without O_NONBLOCK a FIFO would wait here for a writer.
  int fd = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  out->value = fd;
  return true;
}

bool query_file_size(FileHandle file, uint64_t* size) {
  struct stat info;
  if (fstat(fd_of(file), &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool read_exact(FileHandle file, void* buffer, size_t size) {
  if (lseek(fd_of(file), 0, SEEK_SET) != 0) return false;
  return read_all_from(fd_of(file), static_cast<uint8_t*>(buffer), size);
}

void close_file(FileHandle* file) {
  if (!file->is_open()) return;
  close(fd_of(*file));
  file->value = -1;
}

// The mapped image is guarded: when its file shrinks, touching a page past
// the new end raises SIGBUS. The handler puts a page of zeros in its place
// and notes the loss, so the stage runs on and its result is discarded.
namespace {

struct MappingGuard {
  uintptr_t start = 0;
  size_t size = 0;
  int fd = -1;  // the mapped file, to see whether it shrank

  uintptr_t page_size = 4096;
  volatile sig_atomic_t lost_pages = 0;
};
MappingGuard mapping_guard;

extern "C" void on_bus_error(int, siginfo_t* info, void*) {
  MappingGuard& guard = mapping_guard;
  uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  if (at >= guard.start && at - guard.start < guard.size) {
    uintptr_t page = at & ~(guard.page_size - 1);
    void* zeros = mmap(reinterpret_cast<void*>(page), guard.page_size,
                       PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      guard.lost_pages = 1;
      return;
    }
  }
  signal(SIGBUS, SIG_DFL);  // not the image: the fault ends the process
}

void guard_mapping(uint8_t* data, size_t size, int fd) {
  static bool installed = false;
  if (!installed) {
    installed = true;
    long page_size = sysconf(_SC_PAGESIZE);
    if (page_size > 0) mapping_guard.page_size = uintptr_t(page_size);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
  }
  mapping_guard.start = reinterpret_cast<uintptr_t>(data);
  mapping_guard.size = size;
  mapping_guard.lost_pages = 0;
  mapping_guard.fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

}  // namespace

bool map_private(FileHandle file, size_t size, uint8_t** data) {
  if (size == 0) return false;
  void* mapped =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd_of(file), 0);
  if (mapped == MAP_FAILED) return false;
  *data = static_cast<uint8_t*>(mapped);
  guard_mapping(*data, size, fd_of(file));
  return true;
}

void unmap(uint8_t* data, size_t size) {
  if (reinterpret_cast<uintptr_t>(data) == mapping_guard.start) {
    mapping_guard.start = 0;
    mapping_guard.size = 0;
    mapping_guard.lost_pages = 0;  // the next image may be read instead
    if (mapping_guard.fd >= 0) close(mapping_guard.fd);
    mapping_guard.fd = -1;
  }
  munmap(data, size);
}

void prefer_large_pages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr size_t kWorthIt = size_t{2} << 20;
  if (size < kWorthIt) return;
  // The whole pages the block touches: a hint on part of a mapping would
  // split it, and a split mapping can no longer grow in place.
  uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t start = reinterpret_cast<uintptr_t>(data) & ~(page - 1);
  uintptr_t end =
      (reinterpret_cast<uintptr_t>(data) + size + page - 1) & ~(page - 1);
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  static_cast<void>(data);
  static_cast<void>(size);
#endif
}

void release_clean_pages(const void* data, size_t size) {
  uintptr_t page = mapping_guard.page_size;  // known once a file is mapped
  uintptr_t start = reinterpret_cast<uintptr_t>(data);
  uintptr_t first = (start + page - 1) & ~(page - 1);
  uintptr_t end = (start + size) & ~(page - 1);
  // Nothing is lost when the call fails: the pages just stay.
  if (end > first) {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
  }
}

bool mapping_lost_pages() {
  if (mapping_guard.lost_pages != 0) return true;
  // A cut within the last page raises no fault: its bytes read as zeros.
  struct stat info;
  return mapping_guard.fd >= 0 && fstat(mapping_guard.fd, &info) == 0 &&
         static_cast<uint64_t>(info.st_size) < mapping_guard.size;
}

namespace {

// Reads a stream to its end, growing the buffer as it fills.
bool read_stream(int fd, FileBytes* bytes) {
  *bytes = FileBytes{};
  for (;;) {
    if (bytes->size == bytes->capacity && !grow_stream_buffer(bytes)) {
      return false;
    }
    ssize_t got = read(fd, file_data(*bytes) + bytes->size,
                       bytes->capacity - bytes->size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->size += static_cast<size_t>(got);
  }
}

// One read of the size the file has, into storage of just that size.
bool read_regular(int fd, uint64_t size, size_t spare, FileBytes* bytes) {
  if (size >= SIZE_MAX / 2) return false;
  *bytes = FileBytes{};
  if (!resize_file_storage(bytes, static_cast<size_t>(size) + spare)) {
    return false;
  }
  bytes->size = static_cast<size_t>(size);
  // A list of megabytes is touched page by page as it is read and parsed.
  prefer_large_pages(file_data(*bytes), bytes->size);
  return read_all_from(fd, file_data(*bytes), bytes->size);
}

}  // namespace

bool read_whole_file(const NativeString& path, size_t spare, FileBytes* bytes) {
  // A FIFO waits here for its writer, as any reader of a FIFO does.
  int fd = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
  if (ok && S_ISREG(info.st_mode)) {
    ok = read_regular(fd, static_cast<uint64_t>(info.st_size), spare, bytes);
  } else if (ok) {
    ok = read_stream(fd, bytes) && reserve_spare(bytes, spare);
  }
  close(fd);
  return ok;
}

bool identify_file(const NativeString& path, FileIdentity* out) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  *out = identity_of(info);
  return true;
}

bool identify_open_file(FileHandle file, FileIdentity* out) {
  struct stat info;
  if (fstat(fd_of(file), &info) != 0) return false;
  *out = identity_of(info);
  return true;
}

bool is_readable_file(const NativeString& path) {
  FileHandle file;
  if (!open_for_reading(path, &file)) return false;
  close_file(&file);
  return true;
}

bool link_no_replace(const NativeString& from, const NativeString& to,
                     bool* no_links) {
  *no_links = false;
  if (link(from.c_str(), to.c_str()) == 0) return true;
  // EPERM: a file system without links, or a file this user may not link.
  *no_links = errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK ||
              errno == ENOSYS;
  return false;
}

namespace {

// Async-signal-safe: the interrupt handler moves a backup back with it.
bool rename_no_replace_raw(const char* from, const char* to) {
  if (rename_noreplace_syscall(from, to) == 0) return true;
  if (errno != ENOSYS && errno != EINVAL && errno != ENOTSUP) return false;
  // No renameat2 here: link fails when `to` exists, which is the guarantee.
  if (link(from, to) != 0) return false;
  if (unlink(from) != 0) {
    unlink(to);
    return false;
  }
  return true;
}

}  // namespace

bool rename_no_replace(const NativeString& from, const NativeString& to) {
  return rename_no_replace_raw(from.c_str(), to.c_str());
}

bool rename_replace(const NativeString& from, const NativeString& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const NativeString& path) { return unlink(path.c_str()) == 0; }

const NativeString& backup_suffix() {
  static const NativeString suffix = ".old";
  return suffix;
}

NativeString backup_name_of(const NativeString& name) {
  return name + backup_suffix();
}

size_t file_name_start(const NativeString& path) {
  size_t last = path.rfind('/');
  return last == NativeString::npos ? 0 : last + 1;
}

const NativeString& side_file_name() {
  static const NativeString name = "out.txt";
  return name;
}

namespace {

// An interruption (SIGINT, SIGTERM) undoes what the record names and then
// ends the process as the signal would have. The record changes only while
// both signals are blocked, so the handler never sees it half written.
struct InterruptState {
  bool installed = false;
  sigset_t signals;
  sigset_t saved_mask;
  InterruptUndo undo;
};
InterruptState interrupt_state;

extern "C" void on_interrupt(int signal_number) {
  const InterruptUndo& undo = interrupt_state.undo;
  if (!undo.temp_file.empty()) unlink(undo.temp_file.c_str());
  if (!undo.backup_link.empty()) unlink(undo.backup_link.c_str());
  if (!undo.moved_backup.empty()) {
    rename_no_replace_raw(undo.moved_backup.c_str(), undo.original.c_str());
  }
  signal(signal_number, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal_number);
}

void install_interrupt_handlers() {
  InterruptState& state = interrupt_state;
  state.installed = true;
  sigemptyset(&state.signals);
  sigaddset(&state.signals, SIGINT);
  sigaddset(&state.signals, SIGTERM);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_interrupt;
  action.sa_mask = state.signals;
  for (int signal_number : {SIGINT, SIGTERM}) {
    struct sigaction previous;
    // A signal the caller ignores (a background job) stays ignored.
    if (sigaction(signal_number, nullptr, &previous) == 0 &&
        previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

void hold_interrupts() {
  if (!interrupt_state.installed) install_interrupt_handlers();
  sigprocmask(SIG_BLOCK, &interrupt_state.signals, &interrupt_state.saved_mask);
}

void release_interrupts() {
  sigprocmask(SIG_SETMASK, &interrupt_state.saved_mask, nullptr);
}

InterruptUndo& interrupt_undo() { return interrupt_state.undo; }

namespace {

// The new file gets the owner and group of the file it replaces where the
// process may set them (root may); set-user-ID and set-group-ID go only
// with the same owner and group, as cp keeps them.
void copy_owner_and_mode(int fd, const NativeString& mode_source) {
  struct stat source;
  struct stat made;
  if (stat(mode_source.c_str(), &source) != 0 || fstat(fd, &made) != 0) {
    return;
  }
  bool same_owner =
      made.st_uid == source.st_uid && made.st_gid == source.st_gid;
  if (!same_owner) {
    same_owner = fchown(fd, source.st_uid, source.st_gid) == 0;
    if (!same_owner) (void)!fchown(fd, static_cast<uid_t>(-1), source.st_gid);
  }
  mode_t mode = source.st_mode & 07777;
  if (!same_owner) mode &= ~mode_t{S_ISUID | S_ISGID};
  fchmod(fd, mode);
}

// An unnamed file (O_TMPFILE) gets its name through /proc when complete.
bool can_make_unnamed_files() {
#if defined(__linux__) && defined(O_TMPFILE)
  return access("/proc/self/fd", X_OK) == 0;
#else
  return false;
#endif
}

int open_unnamed(const NativeString& directory) {
#if defined(__linux__) && defined(O_TMPFILE)
  return open_retrying(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                       0600);
#else
  (void)directory;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

// The file system cannot hold unnamed files: a named one is made instead.
bool unnamed_unsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

NativeString temp_pattern_in(const NativeString& directory) {
  return directory + "/.uitrans-XXXXXX";
}

// Names a finished unnamed file: a fresh name beside the target.
bool name_unnamed(TempFile* temp, const NativeString& target) {
  char fd_path[64];
  std::snprintf(fd_path, sizeof fd_path, "/proc/self/fd/%d", fd_of(temp->file));
  NativeString base =
      directory_of(target) + "/.uitrans-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    NativeString name = base + std::to_string(attempt);
    if (linkat(AT_FDCWD, fd_path, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
      temp->path = name;
      interrupt_undo().temp_file = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

bool create_temp_beside(const NativeString& target,
                        const NativeString& mode_source, TempFile* temp) {
  // The output must be able to take the place of a file of this name.
  struct stat target_info;
  if (target.empty() || target.back() == '/' ||
      (stat(target.c_str(), &target_info) == 0 &&
       S_ISDIR(target_info.st_mode))) {
    errno = EISDIR;
    return false;
  }
  NativeString directory = directory_of(target);
  int fd = -1;
  if (can_make_unnamed_files()) {
    fd = open_unnamed(directory);
    if (fd < 0 && !unnamed_unsupported(errno)) return false;
  }
  NativeString path;
  if (fd < 0) {
    path = temp_pattern_in(directory);
    fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return false;
  }
  temp->file.value = fd;
  temp->path = path;
  temp->mode_source = mode_source;
  interrupt_undo().temp_file = path;
  return true;
}

bool commit_temp(TempFile* temp, const NativeString& target) {
  // After the writes: a write by anyone but root clears set-user-ID bits.
  copy_owner_and_mode(fd_of(temp->file), temp->mode_source);
  if (temp->path.empty() && !name_unnamed(temp, target)) return false;
  close_file(&temp->file);
  if (rename(temp->path.c_str(), target.c_str()) != 0) return false;
  temp->path.clear();
  interrupt_undo().temp_file.clear();
  return true;
}

void discard_temp(TempFile* temp) {
  close_file(&temp->file);
  if (!temp->path.empty()) unlink(temp->path.c_str());
  temp->path.clear();
  interrupt_undo().temp_file.clear();
}

void flush_directory_of(const NativeString& path) {
  int fd = open_retrying(directory_of(path).c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // some file systems refuse it; the rename stands either way
  close(fd);
}

bool write_all(FileHandle file, const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t put = write(fd_of(file), bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool write_gathered(FileHandle file, const ConstBuffer* pieces, size_t count) {
  constexpr size_t kMaxPieces = 1024;  // IOV_MAX on Linux and the BSDs
  iovec vectors[kMaxPieces];
  size_t next = 0;
  size_t skip = 0;  // bytes of pieces[next] already written
  while (next < count) {
    size_t used = 0;
    for (size_t i = next; i < count && used < kMaxPieces; ++i) {
      size_t offset = i == next ? skip : 0;
      if (pieces[i].size == offset) continue;
      vectors[used].iov_base =
          const_cast<uint8_t*>(static_cast<const uint8_t*>(pieces[i].data)) +
          offset;
      vectors[used].iov_len = pieces[i].size - offset;
      ++used;
    }
    if (used == 0) return true;
    ssize_t put = writev(fd_of(file), vectors, static_cast<int>(used));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    // Advance past what was written; a short write resumes mid-piece.
    size_t left = static_cast<size_t>(put);
    while (next < count && left >= pieces[next].size - skip) {
      left -= pieces[next].size - skip;
      skip = 0;
      ++next;
    }
    skip += left;
  }
  return true;
}

bool flush_file(FileHandle file) { return fsync(fd_of(file)) == 0; }

bool write_side_file(const NativeString& path, const void* data, size_t size,
                     const std::vector<FileIdentity>& keep) {
  // A FIFO or device is never opened; a link is never followed.
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return false;
  int fd = open_retrying(
      path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
      0666);
  if (fd < 0) return false;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  for (const FileIdentity& kept : keep) {
    ok = ok && !(identity_of(info) == kept);
  }
  FileHandle file{fd};
  ok = ok && ftruncate(fd, 0) == 0 && write_all(file, data, size);
  close_file(&file);
  return ok;
}

void print_text(const char* text, size_t length) {
  fwrite(text, 1, length, stdout);
}

void print_native(const NativeString& text) {
  fwrite(text.data(), 1, text.size(), stdout);
}

void flush_output() { fflush(stdout); }

bool write_standard_output(const void* data, size_t size) {
  fflush(stdout);
  return write_all(FileHandle{STDOUT_FILENO}, data, size);
}

void print_error_text(const char* text, size_t length) {
  fwrite(text, 1, length, stderr);
}

void print_error_native(const NativeString& text) {
  fwrite(text.data(), 1, text.size(), stderr);
}

std::string native_to_utf8(const NativeString& text) { return text; }

}  // namespace uitrans::platform
