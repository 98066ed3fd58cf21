// SPDX-License-Identifier: MIT
// A small reader for images the tool wrote: the headers the tests check and
// the resource items found by walking the directory tree.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/pe_builder.h"

namespace testsupport {

struct SectionHeader {
  std::string name;  // the 8 name bytes, trailing zeros removed
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t size_of_raw_data = 0;
  uint32_t pointer_to_raw_data = 0;
  uint32_t characteristics = 0;
};

struct DirectoryEntry {
  uint32_t rva = 0;  // a file offset for the certificate table (index 4)
  uint32_t size = 0;
};

struct ImageHeaders {
  bool pe32_plus = false;
  uint32_t file_alignment = 0;
  uint32_t section_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t checksum_offset = 0;  // of the CheckSum field in the file
  uint32_t pointer_to_symbol_table = 0;
  std::vector<DirectoryEntry> directories;  // as many as the header declares
  uint32_t resource_directory_rva = 0;
  uint32_t resource_directory_size = 0;
  std::vector<SectionHeader> sections;
  int rsrc_index = -1;  // the first section named ".rsrc", or -1
};

std::optional<ImageHeaders> read_headers(const Bytes& image);

struct ResourceKey {
  ResourceName type;
  ResourceName name;
  ResourceName lang;
  auto operator<=>(const ResourceKey&) const = default;
};

// One data entry met by the walk, in depth-first order.
struct DataEntryView {
  ResourceKey key;
  uint32_t entry_offset = 0;  // from the resource root
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct ResourceView {
  std::vector<DataEntryView> entries;
  std::map<ResourceKey, Bytes> items;
};

// Walks the three-level tree of the first .rsrc section; nullopt when
// anything lies outside the image. Every directory is visited once.
std::optional<ResourceView> read_resources(const Bytes& image);

}  // namespace testsupport
