// POSIX implementation of the platform file operations.
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

bool open_for_reading(const NativeString& path, FileHandle* out) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
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

bool map_private(FileHandle file, size_t size, uint8_t** data) {
  if (size == 0) return false;
  void* mapped =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd_of(file), 0);
  if (mapped == MAP_FAILED) return false;
  *data = static_cast<uint8_t*>(mapped);
  return true;
}

void unmap(uint8_t* data, size_t size) { munmap(data, size); }

bool is_readable_file(const NativeString& path) {
  FileHandle file;
  if (!open_for_reading(path, &file)) return false;
  close_file(&file);
  return true;
}

bool rename_no_replace(const NativeString& from, const NativeString& to) {
  if (rename_noreplace_syscall(from.c_str(), to.c_str()) == 0) return true;
  if (errno != ENOSYS && errno != EINVAL && errno != ENOTSUP) return false;
  // No renameat2 here: link fails when `to` exists, which is the guarantee.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    unlink(to.c_str());
    return false;
  }
  return true;
}

bool rename_replace(const NativeString& from, const NativeString& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const NativeString& path) { return unlink(path.c_str()) == 0; }

NativeString backup_name_of(const NativeString& name) { return name + ".old"; }

bool create_temp_beside(const NativeString& target,
                        const NativeString& mode_source, FileHandle* out,
                        NativeString* temp_path) {
  // The output must be able to take the place of a file of this name.
  struct stat target_info;
  if (target.empty() || target.back() == '/' ||
      (stat(target.c_str(), &target_info) == 0 &&
       S_ISDIR(target_info.st_mode))) {
    errno = EISDIR;
    return false;
  }
  NativeString pattern = directory_of(target) + "/.uitrans-XXXXXX";
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (stat(mode_source.c_str(), &info) == 0) {
    fchmod(fd, info.st_mode & 07777);
  }
  out->value = fd;
  *temp_path = pattern;
  return true;
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

bool write_small_file(const NativeString& path, const void* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  FileHandle file{fd};
  bool ok = write_all(file, data, size);
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
