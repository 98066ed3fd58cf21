// Checking the PE headers and finding the resource section.
#include "image/image_info.h"

namespace uitrans {

namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kMinOptionalHeaderPe32 = 224;
constexpr uint32_t kMinOptionalHeaderPe32Plus = 240;

// The headers of a PE image, in the order the checks read them.
bool read_headers(ByteSpan image, ImageInfo* info) {
  if (image.size < 64) return false;
  uint32_t lfanew = 0;
  if (!read_u32(image, 0x3C, &lfanew)) return false;
  if (static_cast<int32_t>(lfanew) < 0) return false;
  if (uint64_t{lfanew} + 24 > image.size) return false;
  uint32_t signature = 0;
  if (!read_u32(image, lfanew, &signature) || signature != 0x00004550) {
    return false;  // "PE\0\0"
  }
  uint16_t section_count = 0;
  uint16_t optional_size = 0;
  if (!read_u16(image, uint64_t{lfanew} + 6, &section_count) ||
      !read_u16(image, uint64_t{lfanew} + 20, &optional_size)) {
    return false;
  }
  if (optional_size == 0) return false;
  uint64_t optional_offset = uint64_t{lfanew} + 24;
  if (optional_offset + optional_size > image.size) return false;
  uint16_t magic = 0;
  if (!read_u16(image, optional_offset, &magic)) return false;
  bool pe32 = magic == kMagicPe32 && optional_size >= kMinOptionalHeaderPe32;
  bool pe32_plus =
      magic == kMagicPe32Plus && optional_size >= kMinOptionalHeaderPe32Plus;
  if (!pe32 && !pe32_plus) return false;
  uint64_t section_table = optional_offset + optional_size;
  if (section_table + uint64_t{kSectionHeaderSize} * section_count >
      image.size) {
    return false;
  }
  info->file_size = static_cast<uint32_t>(image.size);
  info->nt_offset = lfanew;
  info->section_count = section_count;
  info->optional_header_size = optional_size;
  info->optional_header_offset = static_cast<uint32_t>(optional_offset);
  info->is_pe32_plus = pe32_plus;
  info->data_directory_offset =
      static_cast<uint32_t>(optional_offset + (pe32_plus ? 112 : 96));
  info->section_table_offset = static_cast<uint32_t>(section_table);
  return read_u32(image, optional_offset + kOptionalHeaderFileAlignment,
                  &info->file_alignment);
}

// The first section whose name is ".rsrc" followed by a zero byte (the last
// two bytes of the name field are not compared).
bool find_resource_section(ByteSpan image, ImageInfo* info) {
  static const uint8_t kName[6] = {'.', 'r', 's', 'r', 'c', 0};
  for (uint32_t i = 0; i < info->section_count; ++i) {
    uint64_t header =
        uint64_t{info->section_table_offset} + uint64_t{kSectionHeaderSize} * i;
    bool match = range_fits(header, kSectionHeaderSize, image.size);
    for (int k = 0; match && k < 6; ++k) {
      match = image.data[header + k] == kName[k];
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
  return read_u32(image, header + kSectionVirtualSize,
                  &info->resource_virtual_size) &&
         read_u32(image, header + kSectionVirtualAddress,
                  &info->resource_virtual_address) &&
         read_u32(image, header + kSectionSizeOfRawData,
                  &info->resource_raw_size) &&
         read_u32(image, header + kSectionPointerToRawData,
                  &info->resource_raw_pointer);
}

}  // namespace

ImageValidation validate_image(ByteSpan image, ImageInfo* info) {
  *info = ImageInfo{};
  if (!read_headers(image, info)) return ImageValidation::invalid;
  if (!find_resource_section(image, info)) {
    return ImageValidation::no_resource_section;
  }
  if (!read_resource_section(image, info)) return ImageValidation::invalid;
  // Later stages index the image with these; refuse what they cannot trust.
  if (!range_fits(info->resource_raw_pointer, info->resource_raw_size,
                  image.size) ||
      !is_power_of_two(info->file_alignment)) {
    return ImageValidation::invalid;
  }
  info->rva_base = int64_t{info->resource_raw_pointer} -
                   int64_t{info->resource_virtual_address};
  return ImageValidation::ok;
}

}  // namespace uitrans
