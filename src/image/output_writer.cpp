// SPDX-License-Identifier: MIT
// Laying out and writing the rebuilt image.
#include <cstring>

#include "image/output.h"
#include "image/pe_format.h"
#include "image/section_headers.h"

namespace uitrans {

namespace {

// A stated checksum is recomputed for the written file; a zero one, which
// loaders do not check, stays zero.
void update_checksum(uint8_t* image, size_t size, const ImageInfo& info,
                     const std::vector<WriteChunk>& chunks) {
  uint64_t at = uint64_t{info.optional_header_offset} + pe::kOptCheckSum;
  uint32_t stated = 0;
  if (!read_u32(ByteSpan{image, size}, at, &stated) || stated == 0) return;
  write_u32(image, size, at, 0);
  write_u32(image, size, at, pe_checksum(chunks));
}

// The data area in one buffer, for a layout that writes it into the image.
std::vector<uint8_t> gather(const DataArea& area) {
  std::vector<uint8_t> bytes(static_cast<size_t>(area.size), 0);
  size_t at = 0;
  for (const WriteChunk& piece : area.pieces) {
    if (piece.data != nullptr && piece.size > 0) {
      std::memcpy(bytes.data() + at, piece.data, piece.size);
    }
    at += piece.size;
  }
  return bytes;
}

void append_area(const DataArea& area, std::vector<WriteChunk>* chunks) {
  chunks->insert(chunks->end(), area.pieces.begin(), area.pieces.end());
}

// The file up to the data area: the image up to the resource root, then the
// prefix, the image's own or one written anew.
void append_through_prefix(uint8_t* bytes, uint64_t root, uint32_t prefix_size,
                           const DataArea& area,
                           std::vector<WriteChunk>* chunks) {
  if (area.new_prefix == nullptr) {
    chunks->push_back(
        WriteChunk{bytes, static_cast<size_t>(root + prefix_size)});
    return;
  }
  chunks->push_back(WriteChunk{bytes, static_cast<size_t>(root)});
  chunks->push_back(WriteChunk{area.new_prefix, prefix_size});
}

// The chunks of the output file for a data area behind the prefix, in one
// of the three layouts.
void lay_out_chunks(uint8_t* bytes, size_t image_size, const ImageInfo& info,
                    uint32_t prefix_size, const DataArea& data_area, bool grown,
                    OutputImage* output) {
  uint64_t resource_bytes = uint64_t{prefix_size} + data_area.size;
  uint64_t resource_size = output->new_resource_size;
  uint64_t root = info.resource_raw_pointer;
  uint64_t checksum_at =
      uint64_t{info.optional_header_offset} + pe::kOptCheckSum;
  uint64_t rewritten_start = root + prefix_size;
  uint64_t rewritten_end = root + resource_size;
  bool checksum_rewritten =
      checksum_at + 4 > rewritten_start && checksum_at < rewritten_end;
  if (!grown && checksum_rewritten) {
    // A section table that puts resource data over the optional header: the
    // data goes into the image so that the checksum lands where it is read.
    uint8_t* data_start = bytes + rewritten_start;
    if (data_area.size > 0) {
      std::vector<uint8_t> gathered = gather(data_area);
      std::memcpy(data_start, gathered.data(), gathered.size());
    }
    std::memset(data_start + data_area.size, 0, resource_size - resource_bytes);
    if (data_area.new_prefix != nullptr) {
      std::memcpy(bytes + root, data_area.new_prefix, prefix_size);
    }
    output->chunks.push_back(WriteChunk{bytes, image_size});
  } else if (!grown) {
    // The same layout, with the data area and its zero padding written from
    // where they are instead of copied over the old data first.
    append_through_prefix(bytes, root, prefix_size, data_area, &output->chunks);
    append_area(data_area, &output->chunks);
    output->chunks.push_back(WriteChunk{
        nullptr, static_cast<size_t>(resource_size - resource_bytes)});
    output->chunks.push_back(
        WriteChunk{bytes + rewritten_end,
                   static_cast<size_t>(image_size - rewritten_end)});
  } else {
    output->grown = true;
    uint64_t old_end = root + info.resource_raw_size;
    append_through_prefix(bytes, root, prefix_size, data_area, &output->chunks);
    append_area(data_area, &output->chunks);
    output->chunks.push_back(WriteChunk{
        nullptr, static_cast<size_t>(resource_size - resource_bytes)});
    if (old_end < image_size) {
      output->chunks.push_back(WriteChunk{
          bytes + old_end, static_cast<size_t>(image_size - old_end)});
    }
  }
}

}  // namespace

Outcome compose_output(ImageBuffer* image, const ImageInfo& info,
                       uint32_t prefix_size, ByteSpan data_area,
                       OutputImage* output) {
  DataArea area;
  area.pieces.push_back(WriteChunk{data_area.data, data_area.size});
  area.size = data_area.size;
  return compose_output(image, info, prefix_size, area, output);
}

Outcome compose_output(ImageBuffer* image, const ImageInfo& info,
                       uint32_t prefix_size, const DataArea& data_area,
                       OutputImage* output) {
  uint64_t resource_bytes = uint64_t{prefix_size} + data_area.size;
  uint64_t resource_size = align_up(resource_bytes, info.file_alignment);
  if (resource_size > UINT32_MAX) return size_overflow();
  *output = OutputImage{};
  output->new_resource_size = static_cast<uint32_t>(resource_size);
  HeaderPlan plan = plan_headers(image->span(), info, output->new_resource_size,
                                 resource_bytes);
  if (!plan.can_write) return fail(Message::cannot_grow);

  uint8_t* bytes = image->data.get();
  apply_header_plan(bytes, image->size, info, plan, output->new_resource_size);
  lay_out_chunks(bytes, image->size, info, prefix_size, data_area, plan.grown,
                 output);
  for (const WriteChunk& chunk : output->chunks) {
    output->total_size += chunk.size;
  }
  update_checksum(bytes, image->size, info, output->chunks);
  return Outcome{};
}

bool open_output(const BackupPlan& plan, PendingOutput* pending) {
  // The new file takes the owner and permissions of the file it replaces.
  const platform::NativeString& original =
      plan.renamed ? plan.backup_name : plan.executable_name;
  return platform::start_new_file(plan.output_name, original, &pending->temp);
}

namespace {

// The output as pieces of one gathered write; zero runs come from a shared
// block of zeros.
bool write_chunks(const OutputImage& output, platform::FileHandle file) {
  static const uint8_t kZeros[65536] = {};
  std::vector<platform::ConstBuffer> pieces;
  for (const WriteChunk& chunk : output.chunks) {
    if (chunk.data != nullptr) {
      pieces.push_back(platform::ConstBuffer{chunk.data, chunk.size});
      continue;
    }
    for (size_t left = chunk.size; left > 0;) {
      size_t piece = left < sizeof kZeros ? left : sizeof kZeros;
      pieces.push_back(platform::ConstBuffer{kZeros, piece});
      left -= piece;
    }
  }
  return platform::write_gathered(file, pieces.data(), pieces.size());
}

}  // namespace

bool write_output(const OutputImage& output, const BackupPlan& plan,
                  PendingOutput* pending) {
  platform::FileHandle file = pending->temp.file;
  bool complete = write_chunks(output, file) && platform::flush_file(file) &&
                  !platform::mapping_lost_pages() &&
                  platform::identify_open_file(file, &pending->written);
  // Once the new program has its name, the backup stays as made.
  if (!platform::finish_new_file(&pending->temp, plan.output_name, complete)) {
    return false;
  }
  platform::flush_directory_of(plan.output_name);
  return true;
}

}  // namespace uitrans
