// SPDX-License-Identifier: MIT
#include "support/image_reader.h"

#include <set>

namespace testsupport {

namespace {

bool fits(const Bytes& bytes, uint64_t offset, uint64_t length) {
  return offset <= bytes.size() && length <= bytes.size() - offset;
}

}  // namespace

std::optional<ImageHeaders> read_headers(const Bytes& image) {
  if (image.size() < 64) return std::nullopt;
  const uint32_t nt = get32(image, 0x3C);
  if (!fits(image, nt, 24) || image[nt] != 'P' || image[nt + 1] != 'E') {
    return std::nullopt;
  }
  ImageHeaders headers;
  const uint16_t count = get16(image, nt + 6);
  const uint16_t optional_size = get16(image, nt + 20);
  const uint32_t opt = nt + 24;
  if (!fits(image, opt, optional_size) || optional_size < 224) {
    return std::nullopt;
  }
  headers.pe32_plus = get16(image, opt) == 0x20B;
  const uint32_t table = opt + optional_size;
  if (headers.pe32_plus && optional_size < 240) return std::nullopt;
  headers.section_alignment = get32(image, opt + 32);
  headers.file_alignment = get32(image, opt + 36);
  headers.size_of_image = get32(image, opt + 56);
  headers.checksum_offset = opt + 64;
  headers.pointer_to_symbol_table = get32(image, nt + 12);
  const uint32_t directories = opt + (headers.pe32_plus ? 112 : 96);
  const uint32_t declared = get32(image, directories - 4);
  for (uint32_t i = 0; i < declared && directories + 8 * (i + 1) <= table;
       ++i) {
    headers.directories.push_back({get32(image, directories + 8 * i),
                                   get32(image, directories + 8 * i + 4)});
  }
  headers.resource_directory_rva = get32(image, directories + 16);
  headers.resource_directory_size = get32(image, directories + 20);
  if (!fits(image, table, 40ull * count)) return std::nullopt;
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t header = table + 40u * i;
    SectionHeader section;
    for (uint32_t k = 0; k < 8 && image[header + k] != 0; ++k) {
      section.name.push_back(static_cast<char>(image[header + k]));
    }
    section.virtual_size = get32(image, header + kSecVirtualSize);
    section.virtual_address = get32(image, header + kSecVirtualAddress);
    section.size_of_raw_data = get32(image, header + kSecSizeOfRawData);
    section.pointer_to_raw_data = get32(image, header + kSecPointerToRawData);
    section.characteristics = get32(image, header + 36);
    if (headers.rsrc_index < 0 && section.name == ".rsrc") {
      headers.rsrc_index = i;
    }
    headers.sections.push_back(section);
  }
  return headers;
}

namespace {

constexpr uint64_t kDirectoryMark = 1ull << 32;

struct Walk {
  const Bytes& image;
  uint64_t root;
  uint32_t section_rva;
  std::set<uint64_t> visited;
  ResourceView view;
  bool ok = true;
};

std::optional<ResourceName> entry_name(Walk& walk, uint32_t raw_name) {
  if ((raw_name & kHighBit) == 0) return rid(raw_name);
  const uint64_t offset = walk.root + (raw_name & ~kHighBit);
  if (!fits(walk.image, offset, 2)) return std::nullopt;
  const uint16_t length = get16(walk.image, offset);
  if (!fits(walk.image, offset + 2, 2ull * length)) return std::nullopt;
  std::u16string text;
  for (uint16_t i = 0; i < length; ++i) {
    text.push_back(
        static_cast<char16_t>(get16(walk.image, offset + 2 + 2 * i)));
  }
  return rname(text);
}

void walk_directory(Walk& walk, uint32_t offset, int depth, ResourceKey key) {
  if (!walk.ok || depth > 3) return;
  if (!walk.visited.insert(kDirectoryMark | offset).second) return;
  const uint64_t table = walk.root + offset;
  if (!fits(walk.image, table, 16)) {
    walk.ok = false;
    return;
  }
  const uint32_t count =
      get16(walk.image, table + 12) + get16(walk.image, table + 14);
  if (!fits(walk.image, table + 16, 8ull * count)) {
    walk.ok = false;
    return;
  }
  for (uint32_t i = 0; i < count && walk.ok; ++i) {
    const uint64_t entry = table + 16 + 8 * i;
    const std::optional<ResourceName> name =
        entry_name(walk, get32(walk.image, entry));
    if (!name) {
      walk.ok = false;
      return;
    }
    ResourceKey child = key;
    if (depth == 1) child.type = *name;
    if (depth == 2) child.name = *name;
    if (depth == 3) child.lang = *name;
    const uint32_t target = get32(walk.image, entry + 4);
    if (target & kHighBit) {
      walk_directory(walk, target & ~kHighBit, depth + 1, child);
      continue;
    }
    if (!walk.visited.insert(target).second) continue;
    const uint64_t data_entry = walk.root + target;
    if (!fits(walk.image, data_entry, 16)) {
      walk.ok = false;
      return;
    }
    DataEntryView view;
    view.key = child;
    view.entry_offset = target;
    view.rva = get32(walk.image, data_entry);
    view.size = get32(walk.image, data_entry + 4);
    const int64_t item = static_cast<int64_t>(walk.root) + view.rva -
                         static_cast<int64_t>(walk.section_rva);
    if (item < 0 || !fits(walk.image, static_cast<uint64_t>(item), view.size)) {
      walk.ok = false;
      return;
    }
    walk.view.items[child] =
        Bytes(walk.image.begin() + item, walk.image.begin() + item + view.size);
    walk.view.entries.push_back(view);
  }
}

}  // namespace

std::optional<ResourceView> read_resources(const Bytes& image) {
  const std::optional<ImageHeaders> headers = read_headers(image);
  if (!headers || headers->rsrc_index < 0) return std::nullopt;
  const SectionHeader& rsrc = headers->sections[headers->rsrc_index];
  Walk walk{image, rsrc.pointer_to_raw_data, rsrc.virtual_address, {}, {}};
  walk_directory(walk, 0, 1, ResourceKey{});
  if (!walk.ok) return std::nullopt;
  return walk.view;
}

}  // namespace testsupport
