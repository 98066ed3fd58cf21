// SPDX-License-Identifier: MIT
// Test-side builders for the inputs uitrans reads: PE32/PE32+ images with
// sections, resource trees laid out the way linkers lay them out, classic and
// extended menu templates, and UTF-16 list files.
//
// Everything here is written from the published file formats, independently
// of the tool's own sources, so the tests are a second reading of the rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// --- Little-endian byte helpers ------------------------------------------

// Stores a value at `offset`, growing the vector with zeros when needed.
void put16(Bytes& bytes, size_t offset, uint16_t value);
void put32(Bytes& bytes, size_t offset, uint32_t value);
void append16(Bytes& bytes, uint16_t value);
void append32(Bytes& bytes, uint32_t value);
// Appends the units of `text` (no terminator).
void append_text(Bytes& bytes, const std::u16string& text);
// Zero bytes until the size is a multiple of `alignment`.
void pad_to(Bytes& bytes, size_t alignment);
// Reads; the caller keeps the offset inside the vector.
uint16_t get16(const Bytes& bytes, size_t offset);
uint32_t get32(const Bytes& bytes, size_t offset);
// The PE checksum of `file` by the published algorithm (16-bit words, carry
// folded after every add, the field at `checksum_offset` counted as zero).
uint32_t reference_checksum(Bytes file, uint32_t checksum_offset);
// Units in the order written, for expected item contents: {0x0001, 'A'}.
Bytes units(const std::vector<uint16_t>& values);
Bytes concat(const std::vector<Bytes>& parts);

inline uint32_t round_up(uint32_t value, uint32_t step) {
  return (value + step - 1) / step * step;
}

// --- PE images -----------------------------------------------------------

inline constexpr uint32_t kCode = 0x60000020;             // code, execute, read
inline constexpr uint32_t kInitializedData = 0x40000040;  // data, read

struct SectionSpec {
  std::string name;  // up to 8 bytes, copied raw (may hold zeros)
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;  // 0: the size of `raw`
  Bytes raw;
  uint32_t characteristics = kInitializedData;
};

struct ImageSpec {
  bool pe32_plus = false;
  uint32_t file_alignment = 0x200;
  uint32_t section_alignment = 0x1000;
  int32_t nt_offset = 0x80;  // e_lfanew
  std::vector<SectionSpec> sections;
  Bytes tail;  // appended after the last section's raw data
  // The stated CheckSum; the tool recomputes a non-zero one and keeps zero.
  uint32_t checksum = 0x1234ABCD;
};

// Where the builder put things, so tests can poke fields and compute the
// expected output.
struct BuiltImage {
  Bytes bytes;
  uint32_t nt_offset = 0;
  uint32_t optional_header_offset = 0;
  uint32_t data_directory_offset = 0;  // the first data directory entry
  uint32_t section_table_offset = 0;
  std::vector<uint32_t> raw_pointers;  // PointerToRawData per section
  std::vector<uint32_t> raw_sizes;     // SizeOfRawData per section
  uint32_t tail_offset = 0;
};

// Header offsets of a section header, relative to the header's start.
inline constexpr uint32_t kSecVirtualSize = 8;
inline constexpr uint32_t kSecVirtualAddress = 12;
inline constexpr uint32_t kSecSizeOfRawData = 16;
inline constexpr uint32_t kSecPointerToRawData = 20;
inline constexpr uint32_t kOptSizeOfOptionalHeaderInFileHeader = 20;

// Headers, then each section's raw data at the next multiple of the file
// alignment, SizeOfRawData being the raw data rounded up to it. The resource
// data directory entry points at the first section named ".rsrc".
BuiltImage build_image(const ImageSpec& spec);

uint32_t section_header_offset(const BuiltImage& image, size_t index);

// --- Resource trees ------------------------------------------------------

struct ResourceName {
  bool is_string = false;
  uint32_t id = 0;
  std::u16string text;
  auto operator<=>(const ResourceName&) const = default;
};

ResourceName rid(uint32_t id);
ResourceName rname(const std::u16string& text);

struct ResourceLanguage {
  uint32_t lang = 0x409;
  Bytes data;
  uint32_t code_page = 1252;
};

struct ResourceEntrySpec {
  ResourceName name;
  std::vector<ResourceLanguage> languages;
};

struct ResourceTypeSpec {
  ResourceName type;
  std::vector<ResourceEntrySpec> entries;
};

struct ResourceTreeSpec {
  std::vector<ResourceTypeSpec> types;
  uint32_t data_step = 8;  // data items start at multiples of this
  // Data entries stored in reverse walk order, so a reader that follows the
  // directories and one that scans the data entries in file order differ.
  bool reverse_data_entries = false;
};

struct BuiltResources {
  Bytes bytes;  // the section's raw data, not yet padded to file alignment
  uint32_t directory_end = 0;  // end of all tables and entry arrays
  uint32_t strings_end = 0;    // end of the name strings
  uint32_t data_entries_end = 0;
  // In depth-first walk order (named entries before ID entries at every
  // level, each group in the order given):
  std::vector<uint32_t> data_entry_offsets;
  std::vector<Bytes> items;
  std::vector<ResourceName> item_types;
};

// Lays out directories breadth-first, then the name strings, then the data
// entries, then the data items; data entry RVAs are section_rva + offset.
BuiltResources build_resources(const ResourceTreeSpec& spec,
                               uint32_t section_rva);

// Raw pieces for hand-made (and malformed) trees.
void put_directory(Bytes& bytes, size_t offset, uint16_t named_count,
                   uint16_t id_count);
void put_entry(Bytes& bytes, size_t offset, uint32_t name,
               uint32_t offset_to_data);
void put_data_entry(Bytes& bytes, size_t offset, uint32_t rva, uint32_t size);
inline constexpr uint32_t kHighBit = 0x80000000u;

// --- A ready-made image around a resource section ------------------------

inline constexpr uint32_t kTextRva = 0x1000;
inline constexpr uint32_t kRsrcRva = 0x2000;
inline constexpr uint32_t kRelocRva = 0x3000;

struct ResourceImage {
  BuiltImage image;
  BuiltResources resources;
  size_t rsrc_index = 1;  // sections: .text, .rsrc, .reloc
  uint32_t rsrc_raw = 0;  // PointerToRawData of .rsrc
};

struct ResourceImageOptions {
  bool pe32_plus = false;
  uint32_t file_alignment = 0x200;
  uint32_t rsrc_virtual_size = 0;  // 0: the resources' size
  bool with_reloc = true;          // a section stored after .rsrc
  Bytes tail;                      // bytes after the last section
};

ResourceImage make_resource_image(const ResourceTreeSpec& tree,
                                  const ResourceImageOptions& options = {});

// An image whose .rsrc section holds `rsrc_raw` as given (a hand-made tree).
ResourceImage make_raw_resource_image(const Bytes& rsrc_raw,
                                      const ResourceImageOptions& options = {});

// --- Menu templates ------------------------------------------------------

inline constexpr uint16_t kMfPopup = 0x10;
inline constexpr uint16_t kMfEnd = 0x80;
inline constexpr uint16_t kResInfoPopup = 0x01;
inline constexpr uint16_t kResInfoEnd = 0x80;

struct MenuItem {
  std::u16string text;
  uint32_t id = 0;
  std::vector<MenuItem> children;  // non-empty: a popup
  uint16_t extra_flags = 0;        // e.g. MF_GRAYED
};

// MENU: header (version 0, header size 0), then items; MF_POPUP and MF_END
// are set by the builder.
Bytes make_menu(const std::vector<MenuItem>& items);
// MENUEX: header (version 1, offset 4, help id), items on 4-byte boundaries.
Bytes make_menuex(const std::vector<MenuItem>& items);

// --- List files ----------------------------------------------------------

enum class ByteOrder { little, big };
enum class LineBreak { crlf, lf, cr };

struct ListFormat {
  ByteOrder order = ByteOrder::little;
  LineBreak line_break = LineBreak::crlf;
  bool final_break = true;
};

// Byte-order mark, then the lines joined by the line break.
Bytes make_list(const std::vector<std::u16string>& lines,
                const ListFormat& format = {});
// Lines find1, replace1, find2, replace2, ...
Bytes make_pair_list(
    const std::vector<std::pair<std::u16string, std::u16string>>& pairs,
    const ListFormat& format = {});

}  // namespace testsupport
