// Laying out and writing the rebuilt image.
#include <cstring>

#include "image/output.h"

namespace uitrans {

namespace {

constexpr uint32_t kDataDirectoryEntrySize = 8;

// Grown layout: the resource section takes R bytes in the file, and every
// section stored after it moves by the growth.
void patch_grown_headers(uint8_t* image, size_t size, const ImageInfo& info,
                         uint32_t new_resource_size) {
  uint32_t delta = new_resource_size - info.resource_raw_size;
  uint64_t header = info.resource_header_offset;
  write_u32(image, size, header + kSectionSizeOfRawData, new_resource_size);
  if (info.resource_virtual_size < new_resource_size) {
    write_u32(image, size, header + kSectionVirtualSize, new_resource_size);
    write_u32(image, size,
              uint64_t{info.data_directory_offset} +
                  kDataDirectoryEntrySize * kResourceDirectoryIndex + 4,
              new_resource_size);
  }
  ByteSpan span{image, size};
  for (uint32_t i = 0; i < info.section_count; ++i) {
    uint64_t at = uint64_t{info.section_table_offset} +
                  uint64_t{kSectionHeaderSize} * i + kSectionPointerToRawData;
    uint32_t pointer = 0;
    if (read_u32(span, at, &pointer) && pointer > info.resource_raw_pointer) {
      write_u32(image, size, at, pointer + delta);
    }
  }
}

}  // namespace

bool compose_output(ImageBuffer* image, const ImageInfo& info,
                    uint32_t prefix_size, ByteSpan data_area,
                    OutputImage* output) {
  uint64_t alignment = info.file_alignment;
  uint64_t resource_size =
      align_up(uint64_t{prefix_size} + data_area.size, alignment);
  if (resource_size > UINT32_MAX) return false;
  *output = OutputImage{};
  output->new_resource_size = static_cast<uint32_t>(resource_size);
  uint64_t root = info.resource_raw_pointer;
  uint8_t* bytes = image->data.get();

  if (resource_size <= info.resource_raw_size) {
    uint8_t* data_start = bytes + root + prefix_size;
    if (data_area.size > 0) {
      std::memcpy(data_start, data_area.data, data_area.size);
    }
    std::memset(data_start + data_area.size, 0,
                resource_size - prefix_size - data_area.size);
    output->chunks.push_back(WriteChunk{bytes, image->size});
    output->total_size = image->size;
    return true;
  }

  output->grown = true;
  patch_grown_headers(bytes, image->size, info, output->new_resource_size);
  uint64_t old_end = root + info.resource_raw_size;
  output->chunks.push_back(WriteChunk{bytes, root + prefix_size});
  output->chunks.push_back(WriteChunk{data_area.data, data_area.size});
  output->chunks.push_back(
      WriteChunk{nullptr, resource_size - prefix_size - data_area.size});
  if (old_end < image->size) {
    output->chunks.push_back(
        WriteChunk{bytes + old_end, image->size - old_end});
  }
  for (const WriteChunk& chunk : output->chunks)
    output->total_size += chunk.size;
  return true;
}

bool open_output(const BackupPlan& plan, PendingOutput* pending) {
  // The new file takes the permissions of the file it replaces.
  const platform::NativeString& original =
      plan.renamed ? plan.backup_name : plan.executable_name;
  return platform::create_temp_beside(plan.output_name, original,
                                      &pending->file, &pending->temp_path);
}

namespace {

bool write_zeros(platform::FileHandle file, size_t size) {
  static const uint8_t kZeros[1024] = {};
  while (size > 0) {
    size_t piece = size < sizeof kZeros ? size : sizeof kZeros;
    if (!platform::write_all(file, kZeros, piece)) return false;
    size -= piece;
  }
  return true;
}

bool write_chunks(const OutputImage& output, platform::FileHandle file) {
  for (const WriteChunk& chunk : output.chunks) {
    bool ok = chunk.data != nullptr
                  ? platform::write_all(file, chunk.data, chunk.size)
                  : write_zeros(file, chunk.size);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool write_output(const OutputImage& output, const BackupPlan& plan,
                  PendingOutput* pending) {
  bool ok = write_chunks(output, pending->file) &&
            platform::flush_file(pending->file);
  platform::close_file(&pending->file);
  ok = ok && platform::rename_replace(pending->temp_path, plan.output_name);
  if (!ok) discard_output(pending);
  return ok;
}

void discard_output(PendingOutput* pending) {
  platform::close_file(&pending->file);
  if (!pending->temp_path.empty()) platform::remove_file(pending->temp_path);
  pending->temp_path.clear();
}

}  // namespace uitrans
