// The file operations uitrans needs, behind one small interface so that each
// platform supplies its own implementation (POSIX now, Win32 beside it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace uitrans::platform {

#ifdef _WIN32
using NativeChar = wchar_t;  // wide command-line arguments and file names
#else
using NativeChar = char;  // byte strings, printed exactly as given
#endif
using NativeString = std::basic_string<NativeChar>;

// An open file: a descriptor on POSIX, a HANDLE on Win32.
struct FileHandle {
  intptr_t value = -1;
  bool is_open() const { return value != -1; }
};

// Opens an existing file for reading; others may read it meanwhile.
bool open_for_reading(const NativeString& path, FileHandle* out);
bool query_file_size(FileHandle file, uint64_t* size);
// Reads exactly `size` bytes from the start of the file.
bool read_exact(FileHandle file, void* buffer, size_t size);
void close_file(FileHandle* file);
// Maps the first `size` bytes of a file privately: the program may change
// its copy, the file stays as it is. False where mapping is not available;
// the caller then reads the file instead.
bool map_private(FileHandle file, size_t size, uint8_t** data);
void unmap(uint8_t* data, size_t size);

// True when a file of this name exists and can be opened for reading.
bool is_readable_file(const NativeString& path);

// Renames `from` to `to`; fails rather than replace an existing `to`.
bool rename_no_replace(const NativeString& from, const NativeString& to);
// Renames `from` onto `to`, replacing `to` atomically where it exists.
bool rename_replace(const NativeString& from, const NativeString& to);
bool remove_file(const NativeString& path);

// The backup name of an executable: its name followed by ".old".
NativeString backup_name_of(const NativeString& name);

// Creates a new, empty temporary file in the directory of `target`, with the
// permissions of `mode_source` when that file exists.
bool create_temp_beside(const NativeString& target,
                        const NativeString& mode_source, FileHandle* out,
                        NativeString* temp_path);
bool write_all(FileHandle file, const void* data, size_t size);
// A piece of a gathered write.
struct ConstBuffer {
  const void* data = nullptr;
  size_t size = 0;
};
// Writes the pieces one after another, with as few calls as the system
// allows.
bool write_gathered(FileHandle file, const ConstBuffer* pieces, size_t count);
// Flushes written data to stable storage.
bool flush_file(FileHandle file);

// Creates or truncates a small file and writes `size` bytes to it, closing it
// again at once. Returns false when it could not be written.
bool write_small_file(const NativeString& path, const void* data, size_t size);

// Writes a message to standard output.
void print_text(const char* text, size_t length);
void print_native(const NativeString& text);
void flush_output();

// Writes bytes to standard output exactly as they are (binary, also where
// text output would be translated).
bool write_standard_output(const void* data, size_t size);
// Writes a diagnostic to standard error: ASCII text, and names as given.
void print_error_text(const char* text, size_t length);
void print_error_native(const NativeString& text);
// The UTF-8 form of a name (on POSIX its bytes as they are).
std::string native_to_utf8(const NativeString& text);

}  // namespace uitrans::platform
