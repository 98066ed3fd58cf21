// Laying out and writing the rebuilt image.
#include <cstring>

#include "image/output.h"
#include "image/section_headers.h"

namespace uitrans {

namespace {

// A stated checksum is recomputed for the written file; a zero one, which
// loaders do not check, stays zero.
void update_checksum(uint8_t* image, size_t size, const ImageInfo& info,
                     const std::vector<WriteChunk>& chunks) {
  uint64_t at = uint64_t{info.optional_header_offset} + kOptionalHeaderCheckSum;
  uint32_t stated = 0;
  if (!read_u32(ByteSpan{image, size}, at, &stated) || stated == 0) return;
  write_u32(image, size, at, 0);
  write_u32(image, size, at, pe_checksum(chunks));
}

}  // namespace

ComposeStatus compose_output(ImageBuffer* image, const ImageInfo& info,
                             uint32_t prefix_size, ByteSpan data_area,
                             OutputImage* output) {
  uint64_t resource_bytes = uint64_t{prefix_size} + data_area.size;
  uint64_t resource_size = align_up(resource_bytes, info.file_alignment);
  if (resource_size > UINT32_MAX) return ComposeStatus::too_large;
  *output = OutputImage{};
  output->new_resource_size = static_cast<uint32_t>(resource_size);
  HeaderPlan plan = plan_headers(image->span(), info, output->new_resource_size,
                                 resource_bytes);
  if (!plan.can_write) return ComposeStatus::cannot_grow;

  uint8_t* bytes = image->data.get();
  apply_header_plan(bytes, image->size, info, plan, output->new_resource_size);
  uint64_t root = info.resource_raw_pointer;
  if (!plan.grown) {
    uint8_t* data_start = bytes + root + prefix_size;
    if (data_area.size > 0) {
      std::memcpy(data_start, data_area.data, data_area.size);
    }
    std::memset(data_start + data_area.size, 0, resource_size - resource_bytes);
    output->chunks.push_back(WriteChunk{bytes, image->size});
  } else {
    output->grown = true;
    uint64_t old_end = root + info.resource_raw_size;
    output->chunks.push_back(
        WriteChunk{bytes, static_cast<size_t>(root + prefix_size)});
    output->chunks.push_back(WriteChunk{data_area.data, data_area.size});
    output->chunks.push_back(WriteChunk{
        nullptr, static_cast<size_t>(resource_size - resource_bytes)});
    if (old_end < image->size) {
      output->chunks.push_back(WriteChunk{
          bytes + old_end, static_cast<size_t>(image->size - old_end)});
    }
  }
  for (const WriteChunk& chunk : output->chunks) {
    output->total_size += chunk.size;
  }
  update_checksum(bytes, image->size, info, output->chunks);
  return ComposeStatus::ok;
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
