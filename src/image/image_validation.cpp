// SPDX-License-Identifier: MIT
// Checking the PE headers and finding the resource section.
#include "image/image_info.h"
#include "image/pe_format.h"

namespace uitrans {

namespace {

bool refuse(ImageInfo* info, InvalidReason reason) {
  info->reason = reason;
  return false;
}

// The NT headers up to the optional header, in the order the checks read
// them.
bool read_file_header(ByteSpan image, ImageInfo* info) {
  if (image.size < pe::kDosHeaderSize) {
    return refuse(info, InvalidReason::file_too_small);
  }
  uint32_t lfanew = 0;
  read_u32(image, pe::kDosLfanew, &lfanew);
  if (static_cast<int32_t>(lfanew) < 0) {
    return refuse(info, InvalidReason::nt_offset_negative);
  }
  if (uint64_t{lfanew} + pe::kNtOptionalHeader > image.size) {
    return refuse(info, InvalidReason::nt_headers_outside);
  }
  uint32_t signature = 0;
  read_u32(image, lfanew, &signature);
  if (signature != pe::kNtSignature) {
    return refuse(info, InvalidReason::bad_nt_signature);
  }
  read_u16(image, uint64_t{lfanew} + pe::kNtNumberOfSections,
           &info->section_count);
  read_u16(image, uint64_t{lfanew} + pe::kNtSizeOfOptionalHeader,
           &info->optional_header_size);
  info->nt_offset = lfanew;
  return true;
}

bool read_optional_header(ByteSpan image, ImageInfo* info) {
  uint32_t optional_size = info->optional_header_size;
  if (optional_size == 0) {
    return refuse(info, InvalidReason::no_optional_header);
  }
  uint64_t optional_offset = uint64_t{info->nt_offset} + pe::kNtOptionalHeader;
  if (optional_offset + optional_size > image.size) {
    return refuse(info, InvalidReason::optional_header_outside);
  }
  uint16_t magic = 0;
  read_u16(image, optional_offset + pe::kOptMagic, &magic);
  bool pe32 =
      magic == pe::kMagicPe32 && optional_size >= pe::kMinOptionalHeader32;
  bool pe32_plus =
      magic == pe::kMagicPe32Plus && optional_size >= pe::kMinOptionalHeader64;
  if (!pe32 && !pe32_plus) {
    return refuse(info, InvalidReason::bad_optional_header);
  }
  uint64_t section_table = optional_offset + optional_size;
  if (section_table + uint64_t{pe::kSectionHeaderSize} * info->section_count >
      image.size) {
    return refuse(info, InvalidReason::section_table_outside);
  }
  info->file_size = static_cast<uint32_t>(image.size);
  info->optional_header_offset = static_cast<uint32_t>(optional_offset);
  info->is_pe32_plus = pe32_plus;
  info->data_directory_offset = static_cast<uint32_t>(
      optional_offset +
      (pe32_plus ? pe::kOptDataDirectories64 : pe::kOptDataDirectories32));
  info->section_table_offset = static_cast<uint32_t>(section_table);
  read_u32(image, optional_offset + pe::kOptFileAlignment,
           &info->file_alignment);
  return true;
}

// The first section whose name is ".rsrc" followed by a zero byte (the last
// two bytes of the name field are not compared).
bool find_resource_section(ByteSpan image, ImageInfo* info) {
  static const uint8_t kName[6] = {'.', 'r', 's', 'r', 'c', 0};
  for (uint32_t i = 0; i < info->section_count; ++i) {
    uint64_t header = uint64_t{info->section_table_offset} +
                      uint64_t{pe::kSectionHeaderSize} * i;
    bool match = true;
    for (uint32_t k = 0; match && k < sizeof kName; ++k) {
      uint8_t byte = 0;
      match = read_u8(image, header + k, &byte) && byte == kName[k];
    }
    if (match) {
      info->resource_header_offset = static_cast<uint32_t>(header);
      return true;
    }
  }
  return false;
}

bool read_resource_section(ByteSpan image, ImageInfo* info) {
  uint64_t header = info->resource_header_offset;
  if (!read_u32(image, header + pe::kSectionVirtualSize,
                &info->resource_virtual_size) ||
      !read_u32(image, header + pe::kSectionVirtualAddress,
                &info->resource_virtual_address) ||
      !read_u32(image, header + pe::kSectionSizeOfRawData,
                &info->resource_raw_size) ||
      !read_u32(image, header + pe::kSectionPointerToRawData,
                &info->resource_raw_pointer)) {
    return refuse(info, InvalidReason::resource_header_outside);
  }
  // Later stages index the image with these; refuse what they cannot trust.
  if (!range_fits(info->resource_raw_pointer, info->resource_raw_size,
                  image.size)) {
    return refuse(info, InvalidReason::resource_data_outside);
  }
  if (!is_power_of_two(info->file_alignment)) {
    return refuse(info, InvalidReason::bad_file_alignment);
  }
  return true;
}

}  // namespace

Outcome validate_image(ByteSpan image, ImageInfo* info) {
  *info = ImageInfo{};
  if (!read_file_header(image, info) || !read_optional_header(image, info)) {
    return refused(info->reason);
  }
  if (!find_resource_section(image, info)) {
    return fail(Message::no_resource_section);
  }
  if (!read_resource_section(image, info)) return refused(info->reason);
  info->rva_base = int64_t{info->resource_raw_pointer} -
                   int64_t{info->resource_virtual_address};
  return Outcome{};
}

}  // namespace uitrans
