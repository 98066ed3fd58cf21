// SPDX-License-Identifier: MIT
// Header patches for rewritten images.
//
// When the resource section needs more room, the section table, the image
// size and the offsets kept elsewhere in the headers must say so, or loaders
// and scanners misread the program. Sections that follow the resource section
// in memory may be moved up only when they are discardable (relocations,
// debug data): nothing in the program's code refers to their addresses.
#include "image/section_headers.h"

#include <algorithm>

#include "image/pe_format.h"

namespace uitrans {

using namespace pe;

namespace {

struct DataDirectory {
  uint64_t offset = 0;  // of the entry in the image
  uint32_t rva = 0;
  uint32_t size = 0;
};

// The entries of the data directory array that the optional header holds;
// an array shorter than an index means that entry is absent.
std::vector<DataDirectory> read_data_directories(ByteSpan image,
                                                 const ImageInfo& info) {
  uint32_t count_offset =
      info.is_pe32_plus ? kOptNumberOfRvaAndSizes64 : kOptNumberOfRvaAndSizes32;
  uint32_t declared = 0;
  read_u32(image, uint64_t{info.optional_header_offset} + count_offset,
           &declared);
  uint32_t room =
      (info.optional_header_size - (count_offset + 4)) / kDataDirectorySize;
  uint32_t count = std::min(declared, room);
  std::vector<DataDirectory> directories;
  for (uint32_t i = 0; i < count; ++i) {
    DataDirectory entry;
    entry.offset =
        uint64_t{info.data_directory_offset} + uint64_t{kDataDirectorySize} * i;
    if (!read_u32(image, entry.offset + kDataDirectoryRva, &entry.rva) ||
        !read_u32(image, entry.offset + kDataDirectorySizeField, &entry.size)) {
      break;
    }
    directories.push_back(entry);
  }
  return directories;
}

uint32_t extent_of(const SectionHeader& section) {
  return section.virtual_size != 0 ? section.virtual_size : section.raw_size;
}

bool lies_in(uint32_t rva, const SectionHeader& section) {
  return rva >= section.virtual_address &&
         uint64_t{rva} < uint64_t{section.virtual_address} + extent_of(section);
}

bool lies_in_any(uint32_t rva, const std::vector<SectionHeader>& sections,
                 const std::vector<size_t>& which) {
  for (size_t index : which) {
    if (lies_in(rva, sections[index])) return true;
  }
  return false;
}

// Sections placed after the resource section in memory.
std::vector<size_t> following_sections(
    const std::vector<SectionHeader>& sections, const ImageInfo& info) {
  std::vector<size_t> following;
  for (size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].virtual_address > info.resource_virtual_address) {
      following.push_back(i);
    }
  }
  return following;
}

// File offset of the debug directory, found through the section holding it;
// zero when it is not stored in a section outside the resource section.
uint64_t debug_directory_offset(const std::vector<SectionHeader>& sections,
                                const ImageInfo& info, uint32_t rva) {
  for (const SectionHeader& section : sections) {
    if (!lies_in(rva, section)) continue;
    if (section.offset == info.resource_header_offset) return 0;
    uint32_t within = rva - section.virtual_address;
    if (within >= section.raw_size) return 0;
    return uint64_t{section.raw_pointer} + within;
  }
  return 0;
}

// The plan found every field it patches inside the file
// (planned_fields_fit), so a write here cannot fall outside it.
void patch_u32(uint8_t* image, size_t size, uint64_t at, uint32_t value) {
  bool inside = write_u32(image, size, at, value);
  (void)inside;
}

// The debug directory's entries are walked when the file grows or addresses
// move; these are the conditions under which their fields may be patched.
bool walks_debug_entries(const HeaderPlan& plan) {
  return plan.grown || plan.address_shift != 0;
}

void patch_debug_entries(uint8_t* image, size_t size, const ImageInfo& info,
                         const std::vector<SectionHeader>& sections,
                         const std::vector<size_t>& moved,
                         const DataDirectory& debug, const HeaderPlan& plan,
                         uint32_t delta, uint64_t old_raw_end) {
  uint64_t start = debug_directory_offset(sections, info, debug.rva);
  if (start == 0) return;
  ByteSpan span{image, size};
  for (uint32_t i = 0; i < debug.size / kDebugEntrySize; ++i) {
    uint64_t entry = start + uint64_t{kDebugEntrySize} * i;
    uint32_t address = 0;
    uint32_t pointer = 0;
    // Checked by the plan already; the reads stay bounds-checked.
    if (!read_u32(span, entry + kDebugAddressOfRawData, &address) ||
        !read_u32(span, entry + kDebugPointerToRawData, &pointer)) {
      return;
    }
    if (plan.address_shift != 0 && address != 0 &&
        lies_in_any(address, sections, moved)) {
      patch_u32(image, size, entry + kDebugAddressOfRawData,
                address + plan.address_shift);
    }
    if (plan.grown && pointer != 0 && pointer >= old_raw_end) {
      patch_u32(image, size, entry + kDebugPointerToRawData, pointer + delta);
    }
  }
}

// Moves an offset kept in the headers that lies at or past the old end of
// the resource section's raw data.
void move_file_offset(uint8_t* image, size_t size, uint64_t at, uint32_t delta,
                      uint64_t old_raw_end) {
  uint32_t value = 0;
  if (read_u32(ByteSpan{image, size}, at, &value) && value != 0 &&
      value >= old_raw_end) {
    patch_u32(image, size, at, value + delta);
  }
}

uint32_t section_alignment(ByteSpan image, const ImageInfo& info) {
  uint32_t alignment = 0;
  read_u32(image, uint64_t{info.optional_header_offset} + kOptSectionAlignment,
           &alignment);
  return alignment;
}

// Whether the debug entries patch_debug_entries walks all end inside the
// file; a walk that stopped at the end would leave later entries stale.
bool debug_entries_fit(ByteSpan image, const ImageInfo& info) {
  std::vector<DataDirectory> directories = read_data_directories(image, info);
  if (directories.size() <= kDirectoryDebug) return true;
  const DataDirectory& debug = directories[kDirectoryDebug];
  uint64_t count = debug.size / kDebugEntrySize;
  uint64_t start = debug_directory_offset(read_section_headers(image, info),
                                          info, debug.rva);
  return count == 0 || start == 0 ||
         range_fits(start, count * kDebugEntrySize, image.size);
}

// Whether every field the plan patches lies inside the file, so that applying
// it cannot stop half way and leave some offsets moved and others stale.
// Section headers and data directory entries are patched only where they
// were read; the fixed fields and the debug entries are checked here.
bool planned_fields_fit(ByteSpan image, const ImageInfo& info,
                        const HeaderPlan& plan) {
  if (!plan.grown && !plan.virtual_size_changed) return true;
  struct Field {
    bool patched;
    uint64_t at;
  };
  uint64_t rsrc = info.resource_header_offset;
  uint64_t opt = info.optional_header_offset;
  const Field fields[] = {
      {plan.grown, rsrc + kSectionSizeOfRawData},
      {plan.grown, uint64_t{info.nt_offset} + kNtPointerToSymbolTable},
      {plan.virtual_size_changed, rsrc + kSectionVirtualSize},
      {true, opt + kOptSizeOfImage},
      {true, opt + kOptCheckSum},
  };
  for (const Field& field : fields) {
    if (field.patched && !range_fits(field.at, 4, image.size)) return false;
  }
  return !walks_debug_entries(plan) || debug_entries_fit(image, info);
}

// Where the resource section's new extent leaves the sections after it, and
// whether it can be written at all.
HeaderPlan plan_layout(ByteSpan image, const ImageInfo& info,
                       uint32_t new_resource_size, uint64_t resource_bytes) {
  HeaderPlan plan;
  plan.grown = new_resource_size > info.resource_raw_size;
  uint32_t virtual_size = info.resource_virtual_size;
  // Grown, the section needs R bytes in memory; in place, it needs what the
  // rebuilt resources take, or readers honouring VirtualSize see zeros.
  plan.virtual_size_changed = plan.grown ? virtual_size < new_resource_size
                                         : resource_bytes > virtual_size;
  plan.new_virtual_size =
      plan.virtual_size_changed ? new_resource_size : virtual_size;
  if (!plan.virtual_size_changed) return plan;

  // The section's new extent in memory must be placed at aligned addresses.
  uint32_t alignment = section_alignment(image, info);
  if (!is_power_of_two(alignment)) {
    plan.can_write = false;
    return plan;
  }

  std::vector<SectionHeader> sections = read_section_headers(image, info);
  std::vector<size_t> following = following_sections(sections, info);
  if (following.empty()) return plan;
  uint64_t new_end = uint64_t{info.resource_virtual_address} +
                     align_up(plan.new_virtual_size, alignment);
  uint64_t lowest = UINT64_MAX;
  bool all_discardable = true;
  for (size_t index : following) {
    lowest = std::min<uint64_t>(lowest, sections[index].virtual_address);
    all_discardable = all_discardable && (sections[index].characteristics &
                                          kSectionMemDiscardable) != 0;
  }
  if (new_end <= lowest) return plan;
  if (!all_discardable) {
    plan.can_write = false;
    return plan;
  }
  uint64_t shift = align_up(new_end - lowest, alignment);
  uint64_t highest = 0;
  for (size_t index : following) {
    highest = std::max<uint64_t>(
        highest, uint64_t{sections[index].virtual_address} +
                     align_up(extent_of(sections[index]), alignment));
  }
  if (shift > UINT32_MAX || highest + shift > UINT32_MAX) {
    plan.can_write = false;
    return plan;
  }
  plan.address_shift = static_cast<uint32_t>(shift);
  return plan;
}

}  // namespace

std::vector<SectionHeader> read_section_headers(ByteSpan image,
                                                const ImageInfo& info) {
  std::vector<SectionHeader> sections;
  for (uint32_t i = 0; i < info.section_count; ++i) {
    SectionHeader section;
    section.offset =
        uint64_t{info.section_table_offset} + uint64_t{kSectionHeaderSize} * i;
    if (!read_u32(image, section.offset + kSectionVirtualSize,
                  &section.virtual_size) ||
        !read_u32(image, section.offset + kSectionVirtualAddress,
                  &section.virtual_address) ||
        !read_u32(image, section.offset + kSectionSizeOfRawData,
                  &section.raw_size) ||
        !read_u32(image, section.offset + kSectionPointerToRawData,
                  &section.raw_pointer) ||
        !read_u32(image, section.offset + kSectionCharacteristics,
                  &section.characteristics)) {
      break;
    }
    sections.push_back(section);
  }
  return sections;
}

HeaderPlan plan_headers(ByteSpan image, const ImageInfo& info,
                        uint32_t new_resource_size, uint64_t resource_bytes) {
  HeaderPlan plan = plan_layout(image, info, new_resource_size, resource_bytes);
  if (plan.can_write && !planned_fields_fit(image, info, plan)) {
    plan.can_write = false;
  }
  return plan;
}

namespace {

// What apply_header_plan decides on the headers as they were.
struct PatchContext {
  uint8_t* image = nullptr;
  size_t size = 0;
  const ImageInfo* info = nullptr;
  const HeaderPlan* plan = nullptr;
  std::vector<SectionHeader> sections;
  std::vector<DataDirectory> directories;
  std::vector<size_t> moved;  // sections moved up in memory
  uint32_t delta = 0;         // growth of the file
  uint64_t old_raw_end = 0;   // of the resource section
};

// Directory entries and debug entries that name moved addresses or offsets.
void patch_directories(const PatchContext& c) {
  if (c.directories.size() > kDirectoryDebug) {
    patch_debug_entries(c.image, c.size, *c.info, c.sections, c.moved,
                        c.directories[kDirectoryDebug], *c.plan, c.delta,
                        c.old_raw_end);
  }
  for (size_t i = 0; i < c.directories.size(); ++i) {
    if (i == kDirectoryCertificates || c.directories[i].rva == 0) continue;
    if (lies_in_any(c.directories[i].rva, c.sections, c.moved)) {
      patch_u32(c.image, c.size, c.directories[i].offset + kDataDirectoryRva,
                c.directories[i].rva + c.plan->address_shift);
    }
  }
}

// The file grew: the resource section's raw size, the sections stored after
// it, and the file offsets kept in the headers.
void patch_file_layout(const PatchContext& c, uint32_t new_resource_size) {
  const ImageInfo& info = *c.info;
  patch_u32(c.image, c.size,
            info.resource_header_offset + kSectionSizeOfRawData,
            new_resource_size);
  for (const SectionHeader& section : c.sections) {
    if (section.raw_pointer > info.resource_raw_pointer) {
      patch_u32(c.image, c.size, section.offset + kSectionPointerToRawData,
                section.raw_pointer + c.delta);
    }
  }
  if (c.directories.size() > kDirectoryCertificates) {
    move_file_offset(c.image, c.size,
                     c.directories[kDirectoryCertificates].offset, c.delta,
                     c.old_raw_end);
  }
  move_file_offset(c.image, c.size,
                   uint64_t{info.nt_offset} + kNtPointerToSymbolTable, c.delta,
                   c.old_raw_end);
}

// The section's extent in memory, and the addresses of the sections moved.
void patch_memory_layout(const PatchContext& c) {
  if (c.plan->virtual_size_changed) {
    patch_u32(c.image, c.size,
              c.info->resource_header_offset + kSectionVirtualSize,
              c.plan->new_virtual_size);
    // A data directory too short to hold the resource entry has none.
    if (c.directories.size() > kDirectoryResources) {
      patch_u32(
          c.image, c.size,
          c.directories[kDirectoryResources].offset + kDataDirectorySizeField,
          c.plan->new_virtual_size);
    }
  }
  for (size_t index : c.moved) {
    patch_u32(c.image, c.size,
              c.sections[index].offset + kSectionVirtualAddress,
              c.sections[index].virtual_address + c.plan->address_shift);
  }
}

// The image must span every section as it now lies in memory. Without a
// usable alignment nothing moved in memory, and the size stays as it was.
void raise_size_of_image(uint8_t* image, size_t size, const ImageInfo& info) {
  ByteSpan span{image, size};
  uint32_t alignment = section_alignment(span, info);
  if (!is_power_of_two(alignment)) return;
  uint64_t image_end = 0;
  for (const SectionHeader& section : read_section_headers(span, info)) {
    image_end = std::max<uint64_t>(
        image_end, uint64_t{section.virtual_address} + section.virtual_size);
  }
  uint64_t size_of_image_at =
      uint64_t{info.optional_header_offset} + kOptSizeOfImage;
  uint32_t size_of_image = 0;
  read_u32(span, size_of_image_at, &size_of_image);
  uint64_t needed = align_up(image_end, alignment);
  if (needed > size_of_image && needed <= UINT32_MAX) {
    patch_u32(image, size, size_of_image_at, static_cast<uint32_t>(needed));
  }
}

}  // namespace

void apply_header_plan(uint8_t* image, size_t size, const ImageInfo& info,
                       const HeaderPlan& plan, uint32_t new_resource_size) {
  if (!plan.grown && !plan.virtual_size_changed) return;
  ByteSpan span{image, size};
  // Everything below is decided on the headers as they were.
  PatchContext c;
  c.image = image;
  c.size = size;
  c.info = &info;
  c.plan = &plan;
  c.sections = read_section_headers(span, info);
  c.directories = read_data_directories(span, info);
  if (plan.address_shift != 0) c.moved = following_sections(c.sections, info);
  c.delta = plan.grown ? new_resource_size - info.resource_raw_size : 0;
  c.old_raw_end = uint64_t{info.resource_raw_pointer} + info.resource_raw_size;

  patch_directories(c);
  if (plan.grown) patch_file_layout(c, new_resource_size);
  patch_memory_layout(c);
  raise_size_of_image(image, size, info);
}

uint32_t pe_checksum(const std::vector<WriteChunk>& chunks) {
  // Sum of the file's 16-bit little-endian words with end-around carry. A
  // 64-bit accumulator folded at the end gives the same ones'-complement sum.
  uint64_t sum = 0;
  uint64_t length = 0;
  bool odd = false;  // a word is split between two chunks
  for (const WriteChunk& chunk : chunks) {
    length += chunk.size;
    if (chunk.data == nullptr) {  // zeros add nothing, but shift parity
      odd = odd != ((chunk.size & 1) != 0);
      continue;
    }
    const uint8_t* p = chunk.data;
    size_t n = chunk.size;
    if (odd && n > 0) {  // high byte of the split word
      sum += uint64_t{p[0]} << 8;
      ++p;
      --n;
      odd = false;
    }
    for (size_t i = 0; i + 1 < n; i += 2) {
      sum += static_cast<uint64_t>(p[i] | (p[i + 1] << 8));
    }
    if ((n & 1) != 0) {  // low byte of a word the next chunk completes
      sum += p[n - 1];
      odd = true;
    }
  }
  while ((sum >> 16) != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length);
}

}  // namespace uitrans
