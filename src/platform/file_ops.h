// SPDX-License-Identifier: MIT
// The file operations uitrans needs, behind one small interface so that each
// platform supplies its own implementation (POSIX now, Win32 beside it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Opens an existing regular file for reading; others may read it meanwhile.
// Anything else (a directory, a FIFO, a device) is refused without waiting.
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
// Gives back the memory of the whole pages inside [data, data + size) of a
// private mapping: the next read of them reads the file again. Only for
// pages the program never wrote, whose changes it would lose; never for
// heap memory, which would read as zeros.
void release_clean_pages(const void* data, size_t size);
// True when the file mapped last has shrunk since it was mapped. The pages
// past its new end then read as zeros instead of ending the process, so
// whatever was computed or written from them must be thrown away.
bool mapping_lost_pages();
// A hint for a big block of memory about to be filled: back it with large
// pages where the system offers them, so that filling it takes one fault
// per large page instead of one per page. Small blocks are left alone.
void prefer_large_pages(void* data, size_t size);

// A whole file in memory. The storage is an array of 16-bit units, so that
// a UTF-16 list is parsed where it was read; `size` counts bytes.
struct FileBytes {
  std::unique_ptr<char16_t[]> storage;
  size_t size = 0;
  size_t capacity = 0;  // bytes the storage holds
};

// The bytes of a file read into `bytes` (unsigned char may alias the units).
inline uint8_t* file_data(const FileBytes& bytes) {
  return reinterpret_cast<uint8_t*>(bytes.storage.get());
}

// Lists have no size limit of their own; a stream is cut off where a file
// of that size could not be a list anyone wrote.
inline constexpr size_t kMaxStreamSize = size_t{1} << 30;

// Gives `bytes` fresh, uninitialised storage of at least `capacity` bytes,
// keeping the `size` bytes read so far. False when memory runs out.
bool resize_file_storage(FileBytes* bytes, size_t capacity);
// Makes sure the storage holds `spare` bytes past the `size` read.
bool reserve_spare(FileBytes* bytes, size_t spare);
// Makes room for more of a stream being read: the buffer doubles, up to
// kMaxStreamSize. Shared by both platforms' stream readers.
bool grow_stream_buffer(FileBytes* bytes);
// Reads a file to its end: a regular file, or a stream that has no size (a
// pipe, a FIFO, /dev/stdin). The storage keeps room for `spare` more bytes
// past the file's, for the reader's own terminators.
bool read_whole_file(const NativeString& path, size_t spare, FileBytes* bytes);

// What a file is, whatever name or link reaches it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The identity of the file a name leads to (links followed).
bool identify_file(const NativeString& path, FileIdentity* out);
bool identify_open_file(FileHandle file, FileIdentity* out);

// True when a file of this name exists and can be opened for reading.
bool is_readable_file(const NativeString& path);

// Makes `to` a second name of the file `from`; fails rather than replace an
// existing `to`. `no_links` tells whether it failed because the file system
// (or its rules for this file) allows no second name.
bool link_no_replace(const NativeString& from, const NativeString& to,
                     bool* no_links);
// Renames `from` to `to`; fails rather than replace an existing `to`.
bool rename_no_replace(const NativeString& from, const NativeString& to);
// Renames `from` onto `to`, replacing `to` atomically where it exists.
bool rename_replace(const NativeString& from, const NativeString& to);
bool remove_file(const NativeString& path);

// The suffix of a backup's name, ".old".
const NativeString& backup_suffix();
// The backup name of an executable: its name followed by the suffix.
NativeString backup_name_of(const NativeString& name);
// Where the file's own name starts in a path: after the last directory
// separator (on Windows also a drive's colon).
size_t file_name_start(const NativeString& path);
// The side file a translation run leaves in the working directory.
const NativeString& side_file_name();

// A new file being written beside the name it is to take. Where the system
// can, it has no name until it is complete (`path` stays empty), so that
// even a killed process leaves nothing behind.
struct TempFile {
  FileHandle file;
  NativeString path;
  NativeString mode_source;  // whose owner and permissions it takes
};
// The three calls below change the files an interruption must clean up:
// call them with interruptions held back (hold_interrupts).
//
// Creates the temporary file beside `target`, readable by the owner alone
// while it is written.
bool create_temp_beside(const NativeString& target,
                        const NativeString& mode_source, TempFile* temp);
// Gives the finished file the owner, group and permissions of
// `mode_source` where the process may (the set-user-ID and set-group-ID bits
// only with the same owner and group), closes it and renames it onto
// `target`.
bool commit_temp(TempFile* temp, const NativeString& target);
// Closes and removes an unfinished temporary file.
void discard_temp(TempFile* temp);
// Makes a rename into this directory survive a power loss.
void flush_directory_of(const NativeString& path);

// What the process undoes when it is interrupted (SIGINT and SIGTERM;
// Ctrl-C and Ctrl-Break on Windows) while an executable is being replaced,
// before it ends as the signal would end it. Empty names are skipped.
struct InterruptUndo {
  NativeString temp_file;     // removed
  NativeString backup_link;   // removed: a backup made as a second name
  NativeString moved_backup;  // moved back to `original`: a backup made by
  NativeString original;      // renaming, where the file system has no links
};
// Changes to the undo record, and the file operations it records, happen
// between these two calls; interruptions wait meanwhile.
void hold_interrupts();
void release_interrupts();
InterruptUndo& interrupt_undo();

// Holds interruptions back for as long as it lives.
struct InterruptHold {
  InterruptHold() { hold_interrupts(); }
  ~InterruptHold() { release_interrupts(); }
  InterruptHold(const InterruptHold&) = delete;
  InterruptHold& operator=(const InterruptHold&) = delete;
};

// A new file under a name, written whole or not at all: start_new_file
// creates it beside `target` (taking the owner and permissions of
// `mode_source`), the caller writes it, and finish_new_file moves it onto
// `target` when `complete` (then nothing is left for an interruption to
// undo) or removes it. Both hold interruptions back while they change files.
bool start_new_file(const NativeString& target, const NativeString& mode_source,
                    TempFile* temp);
bool finish_new_file(TempFile* temp, const NativeString& target, bool complete);
// Writes `bytes` to `path` through a new file, so the name holds either its
// old content or all of the new.
bool write_whole_file(const NativeString& path, const std::string& bytes);
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

// Creates a small file, or replaces the contents of one, and writes `size`
// bytes to it. Only a regular file that is none of `keep` is written: a
// symbolic link is not followed, and a FIFO or device is left alone without
// waiting. Returns false when nothing was written.
bool write_side_file(const NativeString& path, const void* data, size_t size,
                     const std::vector<FileIdentity>& keep);

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
