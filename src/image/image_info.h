// Loading and validating a PE32/PE32+ image, and writing the rebuilt image
// back with its backup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/bytes.h"
#include "platform/file_ops.h"

namespace uitrans {

inline constexpr uint64_t kMaxImageSize = 524288000;  // 500 MiB, accepted
inline constexpr uint32_t kSectionHeaderSize = 40;

// The whole executable file in memory (a private mapping where the platform
// has one, else one heap buffer), modified in place by the rebuild and the
// output stages; the file itself is never changed through it.
// Releases an image buffer: a private mapping of the file, or heap memory.
struct ImageRelease {
  size_t mapped_size = 0;  // 0: allocated with new[]
  void operator()(uint8_t* data) const {
    if (mapped_size != 0) {
      platform::unmap(data, mapped_size);
    } else {
      delete[] data;
    }
  }
};

struct ImageBuffer {
  std::unique_ptr<uint8_t[], ImageRelease> data;
  size_t size = 0;

  ByteSpan span() const { return ByteSpan{data.get(), size}; }
};

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
};

// Offsets of PE fields used by more than one stage.
inline constexpr uint32_t kOptionalHeaderFileAlignment = 36;
inline constexpr uint32_t kOptionalHeaderSizeOfImage = 56;
inline constexpr uint32_t kOptionalHeaderCheckSum = 64;
inline constexpr uint32_t kSectionVirtualSize = 8;
inline constexpr uint32_t kSectionVirtualAddress = 12;
inline constexpr uint32_t kSectionSizeOfRawData = 16;
inline constexpr uint32_t kSectionPointerToRawData = 20;
inline constexpr uint32_t kResourceDirectoryIndex = 2;

enum class ImageLoadStatus { ok, cannot_open, too_big, read_error };

ImageLoadStatus load_image(const platform::NativeString& path,
                           ImageBuffer* image);

enum class ImageValidation { ok, invalid, no_resource_section };

ImageValidation validate_image(ByteSpan image, ImageInfo* info);

}  // namespace uitrans
