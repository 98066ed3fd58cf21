// SPDX-License-Identifier: MIT
// Writing the rebuilt image: the new resource section size, the backup, and
// the layouts of the output (in place, or with the resource section grown).
#pragma once

#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "platform/file_ops.h"

namespace uitrans {

// A piece of the output file: bytes to write, or `size` zero bytes when
// `data` is null.
struct WriteChunk {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The output file as a sequence of pieces, with the header fields patched in
// the image buffer.
struct OutputImage {
  // The new SizeOfRawData: prefix + data area, rounded up to the file
  // alignment.
  uint32_t new_resource_size = 0;
  bool grown = false;  // the section outgrew its raw size
  std::vector<WriteChunk> chunks;
  uint64_t total_size = 0;
};

// The rebuilt data area as pieces in order (items and their zero padding);
// pieces may point into the image buffer.
struct DataArea {
  std::vector<WriteChunk> pieces;
  uint64_t size = 0;
  // A directory prefix written anew (prefix_size bytes), written in place of
  // the image's own; null keeps the image's.
  const uint8_t* new_prefix = nullptr;
};

// Lays out the output for the rebuilt resources behind the directory
// prefix. Patches the image buffer: the headers are patched to describe the
// new layout truthfully, and where the section table puts the resource data
// over the headers, the data area is written into the image. Ends with
// cannot_grow when the section cannot grow without breaking the image (a
// section that must stay where it is follows it in memory), or with
// out_of_memory (size_overflow) when the section would pass 4 GiB; the image
// buffer is untouched then.
Outcome compose_output(ImageBuffer* image, const ImageInfo& info,
                       uint32_t prefix_size, const DataArea& data_area,
                       OutputImage* output);
// The same for a data area in one piece.
Outcome compose_output(ImageBuffer* image, const ImageInfo& info,
                       uint32_t prefix_size, ByteSpan data_area,
                       OutputImage* output);

// The backup of an executable and the name its output is written under.
struct BackupPlan {
  platform::NativeString executable_name;  // as given
  platform::NativeString output_name;      // without a trailing ".old"
  platform::NativeString backup_name;
  bool linked = false;   // this run made the backup as a second name
  bool renamed = false;  // this run moved the executable to the backup
};

// Chooses the names: "name.old" as the backup of "name", and a name that
// already ends in ".old" is its own backup, written under the name without it.
// Only the file's own name counts, not the directories above it.
BackupPlan plan_backup(const platform::NativeString& executable_name);

// Makes the backup unless one exists already: a second name of the
// executable, so that its own name keeps the whole program until the new one
// replaces it. Where the file system has no links, the executable is renamed
// to the backup instead.
bool make_backup(BackupPlan* plan);
// Takes back the backup made by make_backup.
void undo_backup(BackupPlan* plan);

// The output file being written: a temporary file beside the output name,
// renamed onto it only when complete.
struct PendingOutput {
  platform::TempFile temp;
  platform::FileIdentity written;  // the new file, once it has its name
};

bool open_output(const BackupPlan& plan, PendingOutput* pending);
// Writes every chunk, flushes and renames the file onto the output name.
// On failure the temporary file is removed. A mapped image that lost pages
// meanwhile (its file shrank) counts as a failed write.
bool write_output(const OutputImage& output, const BackupPlan& plan,
                  PendingOutput* pending);

}  // namespace uitrans
