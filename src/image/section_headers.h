// SPDX-License-Identifier: MIT
// Keeping the headers of a rewritten image truthful: section sizes and
// addresses, the image size, file offsets kept in the headers, and the
// checksum.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image_info.h"
#include "image/output.h"

namespace uitrans {

struct SectionHeader {
  uint64_t offset = 0;  // of the header in the image
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
};

std::vector<SectionHeader> read_section_headers(ByteSpan image,
                                                const ImageInfo& info);

// What the headers become for a resource section of `new_resource_size`
// bytes whose rebuilt resources take `resource_bytes` (prefix + data).
struct HeaderPlan {
  bool grown = false;                 // the file layout changes
  bool virtual_size_changed = false;  // VirtualSize and the directory size
  uint32_t new_virtual_size = 0;
  uint32_t address_shift = 0;  // for the sections after .rsrc in memory
  // false: growing would break the image, or a field the plan patches
  // lies outside the file.
  bool can_write = true;
};

HeaderPlan plan_headers(ByteSpan image, const ImageInfo& info,
                        uint32_t new_resource_size, uint64_t resource_bytes);

// Applies a writable plan to the headers in the image buffer. The plan has
// found every field it patches inside the file, so this cannot stop half way.
void apply_header_plan(uint8_t* image, size_t size, const ImageInfo& info,
                       const HeaderPlan& plan, uint32_t new_resource_size);

// The PE checksum of the file the chunks make up; the CheckSum field must
// already read as zero.
uint32_t pe_checksum(const std::vector<WriteChunk>& chunks);

}  // namespace uitrans
