// SPDX-License-Identifier: MIT
// What validation learns of a PE32/PE32+ image: where its headers and its
// resource section lie. Pure over the bytes; loading the file is the
// business of image_file.h, writing it of output.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/outcome.h"

namespace uitrans {

// Where the headers and the resource section of a validated image lie. All
// offsets are byte offsets into the image buffer.
struct ImageInfo {
  uint32_t file_size = 0;
  uint32_t nt_offset = 0;  // e_lfanew, known to be non-negative
  uint16_t section_count = 0;
  uint16_t optional_header_size = 0;
  uint32_t optional_header_offset = 0;
  bool is_pe32_plus = false;
  uint32_t file_alignment = 0;
  uint32_t data_directory_offset = 0;
  uint32_t section_table_offset = 0;
  uint32_t resource_header_offset = 0;  // the section header of .rsrc
  uint32_t resource_raw_pointer = 0;    // PointerToRawData: the resource root
  uint32_t resource_raw_size = 0;       // SizeOfRawData
  uint32_t resource_virtual_address = 0;
  uint32_t resource_virtual_size = 0;
  // Image offset of RVA 0 of the resource section: an RVA r of the section
  // is found at rva_base + r. It can be negative.
  int64_t rva_base = 0;
  InvalidReason reason = InvalidReason::none;  // set while refusing it
};

// Checks the headers in the order a loader relies on them and finds the
// resource section: not_valid (with the reason) or no_resource_section when
// the image cannot be rebuilt.
Outcome validate_image(ByteSpan image, ImageInfo* info);

}  // namespace uitrans
