// SPDX-License-Identifier: MIT
// Win32 implementation of the platform file operations. File names are wide
// (UTF-16) strings exactly as they came from the command line.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include "common/unicode.h"
#include "platform/file_ops.h"

namespace uitrans::platform {

namespace {

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file.value);
}

FileHandle file_of(HANDLE handle) {
  return FileHandle{reinterpret_cast<intptr_t>(handle)};
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Names longer than the classic path limit are opened through their full
// "\\?\" form, which the file functions accept up to 32,767 characters.
// Shorter names are passed on unchanged.
NativeString system_path(const NativeString& path) {
  constexpr size_t kClassicLimit = 240;  // leaves room for a temporary name
  if (path.size() < kClassicLimit) return path;
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) {
    return path;
  }
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Reads and writes are issued in pieces a DWORD count can describe.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// The directory part of a name, with its trailing separator ("" for a bare
// name, "C:" for a drive-relative one).
NativeString directory_prefix_of(const NativeString& path) {
  size_t end = path.size();
  while (end > 0 && !is_separator(path[end - 1])) --end;
  if (end == 0 && path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  return path.substr(0, end);
}

void append_hex(NativeString* text, uint64_t value) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  wchar_t digits[16];
  int count = 0;
  do {
    digits[count++] = kDigits[value & 15];
    value >>= 4;
  } while (value != 0);
  while (count > 0) text->push_back(digits[--count]);
}

// Standard output: a console gets wide text through WriteConsoleW, so that
// every name shows as it is; anything else (a file, a pipe) gets UTF-8.
struct Output {
  bool initialised = false;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool console = false;
  std::wstring wide;  // pending console text
  std::string bytes;  // pending UTF-8 text
};

Output& output() {
  static Output state;
  if (!state.initialised) {
    state.initialised = true;
    state.handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    state.console = state.handle != nullptr &&
                    state.handle != INVALID_HANDLE_VALUE &&
                    GetConsoleMode(state.handle, &mode) != 0;
  }
  return state;
}

constexpr size_t kFlushThreshold = 4096;

// UTF-8 of UTF-16 text (wchar_t is 16 bits here), by the rule every output
// of the tool follows: a surrogate without its partner, which Windows file
// names may hold, keeps its own three-byte form, so that no name is lost or
// merged with another in the output.
void append_utf8(std::string* out, const wchar_t* text, size_t length) {
  std::u16string units(text, text + length);
  uitrans::append_utf8(out, units);
}

void write_pending(Output& out) {
  if (out.console) {
    size_t done = 0;
    while (done < out.wide.size()) {
      DWORD piece = static_cast<DWORD>(
          out.wide.size() - done < 16384 ? out.wide.size() - done : 16384);
      DWORD written = 0;
      if (!WriteConsoleW(out.handle, out.wide.data() + done, piece, &written,
                         nullptr) ||
          written == 0) {
        break;
      }
      done += written;
    }
    out.wide.clear();
    return;
  }
  if (out.handle != nullptr && out.handle != INVALID_HANDLE_VALUE) {
    write_all(file_of(out.handle), out.bytes.data(), out.bytes.size());
  }
  out.bytes.clear();
}

}  // namespace

bool open_for_reading(const NativeString& path, FileHandle* out) {
  // Directories do not open without FILE_FLAG_BACKUP_SEMANTICS.
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // Only a file on disk: not a pipe, a console or a device.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return false;
  }
  *out = file_of(handle);
  return true;
}

bool query_file_size(FileHandle file, uint64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(handle_of(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (uint64_t{high} << 32) | low;
  return true;
}

bool read_exact(FileHandle file, void* buffer, size_t size) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN)) {
    return false;
  }
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    DWORD piece = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
    DWORD got = 0;
    if (!ReadFile(handle_of(file), bytes, piece, &got, nullptr) || got == 0) {
      return false;
    }
    bytes += got;
    size -= got;
  }
  return true;
}

void close_file(FileHandle* file) {
  if (!file->is_open()) return;
  CloseHandle(handle_of(*file));
  file->value = -1;
}

// Images are read, not mapped: a mapped file could not be renamed to its
// backup while the mapping is open.
bool map_private(FileHandle, size_t, uint8_t**) { return false; }

void unmap(uint8_t*, size_t) {}

// Images are read into heap memory here, never mapped: there are no clean
// file pages to give back.
void release_clean_pages(const void*, size_t) {}

bool mapping_lost_pages() { return false; }

// Large pages need a privilege on Windows; the hint is not worth one.
void prefer_large_pages(void*, size_t) {}

namespace {

// Reads a pipe or another stream to its end.
bool read_stream(HANDLE handle, FileBytes* bytes) {
  *bytes = FileBytes{};
  for (;;) {
    if (bytes->size == bytes->capacity && !grow_stream_buffer(bytes)) {
      return false;
    }
    DWORD got = 0;
    DWORD room = static_cast<DWORD>(bytes->capacity - bytes->size);
    if (!ReadFile(handle, file_data(*bytes) + bytes->size, room, &got,
                  nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE;  // the writer is done
    }
    if (got == 0) return true;
    bytes->size += got;
  }
}

// One read of the size the file has, into storage of just that size.
bool read_disk_file(FileHandle file, size_t spare, FileBytes* bytes) {
  uint64_t size = 0;
  if (!query_file_size(file, &size) || size >= SIZE_MAX / 2) return false;
  *bytes = FileBytes{};
  if (!resize_file_storage(bytes, static_cast<size_t>(size) + spare)) {
    return false;
  }
  bytes->size = static_cast<size_t>(size);
  return read_exact(file, file_data(*bytes), bytes->size);
}

bool identity_of(HANDLE handle, FileIdentity* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  out->device = info.dwVolumeSerialNumber;
  out->index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool read_whole_file(const NativeString& path, size_t spare, FileBytes* bytes) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FileHandle file = file_of(handle);
  bool ok = GetFileType(handle) == FILE_TYPE_DISK
                ? read_disk_file(file, spare, bytes)
                : read_stream(handle, bytes) && reserve_spare(bytes, spare);
  close_file(&file);
  return ok;
}

bool identify_file(const NativeString& path, FileIdentity* out) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = identity_of(handle, out);
  CloseHandle(handle);
  return ok;
}

bool identify_open_file(FileHandle file, FileIdentity* out) {
  return identity_of(handle_of(file), out);
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
  if (CreateHardLinkW(system_path(to).c_str(), system_path(from).c_str(),
                      nullptr)) {
    return true;
  }
  DWORD error = GetLastError();
  // FAT and most network shares have no hard links.
  *no_links = error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
              error == ERROR_TOO_MANY_LINKS || error == ERROR_NOT_SAME_DEVICE;
  return false;
}

bool rename_no_replace(const NativeString& from, const NativeString& to) {
  // MoveFileW never replaces an existing file.
  return MoveFileW(system_path(from).c_str(), system_path(to).c_str()) != 0;
}

bool rename_replace(const NativeString& from, const NativeString& to) {
  return MoveFileExW(system_path(from).c_str(), system_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const NativeString& path) {
  return DeleteFileW(system_path(path).c_str()) != 0;
}

const NativeString& backup_suffix() {
  static const NativeString suffix = L".old";
  return suffix;
}

size_t file_name_start(const NativeString& path) {
  size_t last = path.find_last_of(L"\\/:");
  return last == NativeString::npos ? 0 : last + 1;
}

const NativeString& side_file_name() {
  static const NativeString name = L"out.txt";
  return name;
}

NativeString backup_name_of(const NativeString& name) {
  // wsprintfW writes at most 1,024 characters, terminator included; longer
  // names are joined directly.
  constexpr size_t kFormatLimit = 1024;
  if (name.size() + 5 > kFormatLimit) return name + L".old";
  wchar_t buffer[kFormatLimit];
  int length = wsprintfW(buffer, L"%s.old", name.c_str());
  if (length < 0 || static_cast<size_t>(length) != name.size() + 4) {
    return name + L".old";
  }
  return NativeString(buffer, static_cast<size_t>(length));
}

namespace {

// Ctrl-C and Ctrl-Break reach a handler on a thread of their own. The lock
// keeps it from running between a file operation and the record of it.
struct InterruptState {
  bool installed = false;
  CRITICAL_SECTION lock;
  InterruptUndo undo;
};
InterruptState interrupt_state;

BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  EnterCriticalSection(&interrupt_state.lock);
  const InterruptUndo& undo = interrupt_state.undo;
  if (!undo.temp_file.empty()) DeleteFileW(system_path(undo.temp_file).c_str());
  if (!undo.backup_link.empty()) {
    DeleteFileW(system_path(undo.backup_link).c_str());
  }
  if (!undo.moved_backup.empty()) {
    MoveFileW(system_path(undo.moved_backup).c_str(),
              system_path(undo.original).c_str());
  }
  // Ends the process while still holding the lock: the main thread does
  // not get to change the files again.
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

void hold_interrupts() {
  if (!interrupt_state.installed) {
    interrupt_state.installed = true;
    InitializeCriticalSection(&interrupt_state.lock);
    SetConsoleCtrlHandler(on_console_event, TRUE);
  }
  EnterCriticalSection(&interrupt_state.lock);
}

void release_interrupts() { LeaveCriticalSection(&interrupt_state.lock); }

InterruptUndo& interrupt_undo() { return interrupt_state.undo; }

bool create_temp_beside(const NativeString& target,
                        const NativeString& mode_source, TempFile* temp) {
  // The new file gets ordinary attributes; `mode_source` carries POSIX
  // owners and permission bits, which have no counterpart here.
  (void)mode_source;
  // The output must be able to take the place of a file of this name.
  if (target.empty() || is_separator(target.back())) return false;
  DWORD attributes = GetFileAttributesW(system_path(target).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  NativeString base = directory_prefix_of(target) + L".uitrans-";
  append_hex(&base, GetCurrentProcessId());
  base += L'-';
  uint64_t seed = GetTickCount64();
  for (uint32_t attempt = 0; attempt < 100; ++attempt) {
    NativeString name = base;
    append_hex(&name, seed + attempt);
    name += L".tmp";
    // Shared for deleting, so that an interruption can remove it while it
    // is still open.
    HANDLE handle =
        CreateFileW(system_path(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      temp->file = file_of(handle);
      temp->path = name;
      interrupt_undo().temp_file = name;
      return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return false;
}

bool commit_temp(TempFile* temp, const NativeString& target) {
  close_file(&temp->file);
  // Write-through: the rename is on disk when the call returns.
  if (!rename_replace(temp->path, target)) return false;
  temp->path.clear();
  interrupt_undo().temp_file.clear();
  return true;
}

void discard_temp(TempFile* temp) {
  close_file(&temp->file);
  if (!temp->path.empty()) remove_file(temp->path);
  temp->path.clear();
  interrupt_undo().temp_file.clear();
}

// MOVEFILE_WRITE_THROUGH has flushed the rename already.
void flush_directory_of(const NativeString&) {}

bool write_all(FileHandle file, const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    DWORD piece = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
    DWORD put = 0;
    if (!WriteFile(handle_of(file), bytes, piece, &put, nullptr) || put == 0) {
      return false;
    }
    bytes += put;
    size -= put;
  }
  return true;
}

// Files opened for ordinary (not overlapped, unbuffered) writing have no
// gathered write: the pieces go one by one.
bool write_gathered(FileHandle file, const ConstBuffer* pieces, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!write_all(file, pieces[i].data, pieces[i].size)) return false;
  }
  return true;
}

bool flush_file(FileHandle file) {
  return FlushFileBuffers(handle_of(file)) != 0;
}

namespace {

// Only a regular file on disk that is none of `keep`.
bool may_replace(HANDLE handle, const std::vector<FileIdentity>& keep) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  FileIdentity identity;
  identity.device = info.dwVolumeSerialNumber;
  identity.index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  for (const FileIdentity& kept : keep) {
    if (identity == kept) return false;
  }
  return true;
}

}  // namespace

bool write_side_file(const NativeString& path, const void* data, size_t size,
                     const std::vector<FileIdentity>& keep) {
  // A link (reparse point) is opened as itself, never followed.
  HANDLE handle = CreateFileW(
      system_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FileHandle file = file_of(handle);
  bool ok = may_replace(handle, keep) && SetEndOfFile(handle) &&
            write_all(file, data, size);
  close_file(&file);
  return ok;
}

void print_text(const char* text, size_t length) {
  // The catalogue texts and counts are ASCII.
  Output& out = output();
  if (out.console) {
    for (size_t i = 0; i < length; ++i) {
      out.wide.push_back(static_cast<wchar_t>(static_cast<uint8_t>(text[i])));
    }
  } else {
    out.bytes.append(text, length);
  }
  if (out.wide.size() + out.bytes.size() > kFlushThreshold) write_pending(out);
}

void print_native(const NativeString& text) {
  Output& out = output();
  if (out.console) {
    out.wide += text;
  } else {
    append_utf8(&out.bytes, text.data(), text.size());
  }
  if (out.wide.size() + out.bytes.size() > kFlushThreshold) write_pending(out);
}

void flush_output() { write_pending(output()); }

bool write_standard_output(const void* data, size_t size) {
  flush_output();
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return write_all(file_of(handle), data, size);
}

namespace {

// Standard error: wide text on a console, UTF-8 elsewhere.
void write_error(const std::wstring& text) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
    return;
  }
  std::string bytes;
  append_utf8(&bytes, text.data(), text.size());
  write_all(file_of(handle), bytes.data(), bytes.size());
}

}  // namespace

void print_error_text(const char* text, size_t length) {
  std::wstring wide;
  for (size_t i = 0; i < length; ++i) {
    wide.push_back(static_cast<wchar_t>(static_cast<uint8_t>(text[i])));
  }
  write_error(wide);
}

void print_error_native(const NativeString& text) { write_error(text); }

std::string native_to_utf8(const NativeString& text) {
  std::string bytes;
  append_utf8(&bytes, text.data(), text.size());
  return bytes;
}

}  // namespace uitrans::platform
