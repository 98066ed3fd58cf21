// SPDX-License-Identifier: MIT
#include "support/pe_builder.h"

#include <algorithm>

namespace testsupport {

void put16(Bytes& bytes, size_t offset, uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2, 0);
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(Bytes& bytes, size_t offset, uint32_t value) {
  put16(bytes, offset, static_cast<uint16_t>(value));
  put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

void append16(Bytes& bytes, uint16_t value) {
  put16(bytes, bytes.size(), value);
}

void append32(Bytes& bytes, uint32_t value) {
  put32(bytes, bytes.size(), value);
}

void append_text(Bytes& bytes, const std::u16string& text) {
  for (char16_t unit : text) append16(bytes, static_cast<uint16_t>(unit));
}

void pad_to(Bytes& bytes, size_t alignment) {
  while (bytes.size() % alignment != 0) bytes.push_back(0);
}

uint16_t get16(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

uint32_t get32(const Bytes& bytes, size_t offset) {
  return get16(bytes, offset) |
         (static_cast<uint32_t>(get16(bytes, offset + 2)) << 16);
}

uint32_t reference_checksum(Bytes file, uint32_t checksum_offset) {
  put32(file, checksum_offset, 0);
  uint32_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    uint32_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<uint32_t>(file.size());
}

Bytes units(const std::vector<uint16_t>& values) {
  Bytes bytes;
  for (uint16_t value : values) append16(bytes, value);
  return bytes;
}

Bytes concat(const std::vector<Bytes>& parts) {
  Bytes bytes;
  for (const Bytes& part : parts) {
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

// --- PE images -----------------------------------------------------------

namespace {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;

void put_optional_header(Bytes& bytes, uint32_t opt, const ImageSpec& spec,
                         uint32_t size_of_image, uint32_t size_of_headers) {
  put16(bytes, opt + 0, spec.pe32_plus ? 0x20B : 0x10B);
  bytes[opt + 2] = 14;               // linker version
  put32(bytes, opt + 16, kTextRva);  // AddressOfEntryPoint
  put32(bytes, opt + 20, kTextRva);  // BaseOfCode
  if (spec.pe32_plus) {
    put32(bytes, opt + 24, 0x40000000);  // ImageBase, low half
    put32(bytes, opt + 28, 0x00000001);  // ImageBase, high half
  } else {
    put32(bytes, opt + 28, 0x00400000);  // ImageBase
  }
  put32(bytes, opt + 32, spec.section_alignment);
  put32(bytes, opt + 36, spec.file_alignment);
  put16(bytes, opt + 40, 6);  // operating system version
  put16(bytes, opt + 48, 6);  // subsystem version
  put32(bytes, opt + 56, size_of_image);
  put32(bytes, opt + 60, size_of_headers);
  put32(bytes, opt + 64, spec.checksum);
  put16(bytes, opt + 68, 3);                            // console subsystem
  put32(bytes, opt + (spec.pe32_plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
}

}  // namespace

uint32_t section_header_offset(const BuiltImage& image, size_t index) {
  return image.section_table_offset +
         static_cast<uint32_t>(index) * kSectionHeaderSize;
}

BuiltImage build_image(const ImageSpec& spec) {
  BuiltImage image;
  const uint32_t nt = static_cast<uint32_t>(spec.nt_offset);
  const uint32_t optional_size = spec.pe32_plus ? 240 : 224;
  const uint32_t count = static_cast<uint32_t>(spec.sections.size());
  image.nt_offset = nt;
  image.optional_header_offset = nt + 4 + kFileHeaderSize;
  image.data_directory_offset =
      image.optional_header_offset + (spec.pe32_plus ? 112 : 96);
  image.section_table_offset = image.optional_header_offset + optional_size;
  const uint32_t headers_end =
      image.section_table_offset + count * kSectionHeaderSize;
  const uint32_t size_of_headers = round_up(headers_end, spec.file_alignment);

  Bytes& bytes = image.bytes;
  bytes.assign(size_of_headers, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  put32(bytes, 0x3C, nt);
  // A DOS stub that is recognisable in the output.
  for (uint32_t i = kDosHeaderSize; i < nt && i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(0xA0 + i % 16);
  }
  bytes[nt] = 'P';
  bytes[nt + 1] = 'E';
  put16(bytes, nt + 4, spec.pe32_plus ? 0x8664 : 0x014C);
  put16(bytes, nt + 6, static_cast<uint16_t>(count));
  put32(bytes, nt + 8, 0x5F5E0F00);  // TimeDateStamp
  put16(bytes, nt + 20, static_cast<uint16_t>(optional_size));
  put16(bytes, nt + 22, spec.pe32_plus ? 0x0022 : 0x0102);

  uint32_t size_of_image = round_up(size_of_headers, spec.section_alignment);
  bool resource_directory_set = false;
  for (uint32_t index = 0; index < count; ++index) {
    const SectionSpec& section = spec.sections[index];
    const uint32_t header = section_header_offset(image, index);
    const uint32_t raw_pointer = static_cast<uint32_t>(bytes.size());
    const uint32_t raw_size = round_up(
        static_cast<uint32_t>(section.raw.size()), spec.file_alignment);
    const uint32_t virtual_size =
        section.virtual_size != 0 ? section.virtual_size
                                  : static_cast<uint32_t>(section.raw.size());
    for (size_t i = 0; i < section.name.size() && i < 8; ++i) {
      bytes[header + i] = static_cast<uint8_t>(section.name[i]);
    }
    put32(bytes, header + kSecVirtualSize, virtual_size);
    put32(bytes, header + kSecVirtualAddress, section.virtual_address);
    put32(bytes, header + kSecSizeOfRawData, raw_size);
    put32(bytes, header + kSecPointerToRawData, raw_size ? raw_pointer : 0);
    put32(bytes, header + 36, section.characteristics);
    bytes.insert(bytes.end(), section.raw.begin(), section.raw.end());
    bytes.resize(raw_pointer + raw_size, 0);
    image.raw_pointers.push_back(raw_pointer);
    image.raw_sizes.push_back(raw_size);
    size_of_image = std::max(
        size_of_image, section.virtual_address +
                           round_up(virtual_size, spec.section_alignment));
    if (!resource_directory_set && section.name.size() >= 5 &&
        section.name.compare(0, 5, ".rsrc") == 0) {
      put32(bytes, image.data_directory_offset + 16, section.virtual_address);
      put32(bytes, image.data_directory_offset + 20, virtual_size);
      resource_directory_set = true;
    }
  }
  image.tail_offset = static_cast<uint32_t>(bytes.size());
  bytes.insert(bytes.end(), spec.tail.begin(), spec.tail.end());
  put_optional_header(bytes, image.optional_header_offset, spec, size_of_image,
                      size_of_headers);
  return image;
}

// --- Resource trees ------------------------------------------------------

ResourceName rid(uint32_t id) { return ResourceName{false, id, {}}; }

ResourceName rname(const std::u16string& text) {
  return ResourceName{true, 0, text};
}

void put_directory(Bytes& bytes, size_t offset, uint16_t named_count,
                   uint16_t id_count) {
  put32(bytes, offset, 0);      // Characteristics
  put32(bytes, offset + 4, 0);  // TimeDateStamp
  put32(bytes, offset + 8, 0);  // MajorVersion, MinorVersion
  put16(bytes, offset + 12, named_count);
  put16(bytes, offset + 14, id_count);
}

void put_entry(Bytes& bytes, size_t offset, uint32_t name,
               uint32_t offset_to_data) {
  put32(bytes, offset, name);
  put32(bytes, offset + 4, offset_to_data);
}

void put_data_entry(Bytes& bytes, size_t offset, uint32_t rva, uint32_t size) {
  put32(bytes, offset, rva);
  put32(bytes, offset + 4, size);
  put32(bytes, offset + 8, 1252);  // CodePage, kept as it is
  put32(bytes, offset + 12, 0);
}

namespace {

// Named entries come first in a directory, each group in the given order.
template <typename T, typename NameOf>
std::vector<const T*> directory_order(const std::vector<T>& entries,
                                      NameOf name_of) {
  std::vector<const T*> ordered;
  for (const T& entry : entries) {
    if (name_of(entry).is_string) ordered.push_back(&entry);
  }
  for (const T& entry : entries) {
    if (!name_of(entry).is_string) ordered.push_back(&entry);
  }
  return ordered;
}

uint16_t count_named(const std::vector<const ResourceTypeSpec*>& types) {
  uint16_t n = 0;
  for (const auto* t : types) n += t->type.is_string ? 1 : 0;
  return n;
}

uint16_t count_named(const std::vector<const ResourceEntrySpec*>& entries) {
  uint16_t n = 0;
  for (const auto* e : entries) n += e->name.is_string ? 1 : 0;
  return n;
}

uint32_t table_size(size_t entry_count) {
  return 16 + 8 * static_cast<uint32_t>(entry_count);
}

}  // namespace

BuiltResources build_resources(const ResourceTreeSpec& spec,
                               uint32_t section_rva) {
  BuiltResources built;
  const auto types = directory_order(
      spec.types,
      [](const ResourceTypeSpec& t) -> const ResourceName& { return t.type; });
  std::vector<std::vector<const ResourceEntrySpec*>> names;
  for (const auto* type : types) {
    names.push_back(directory_order(
        type->entries, [](const ResourceEntrySpec& e) -> const ResourceName& {
          return e.name;
        }));
  }

  // Breadth-first table offsets: root, the type tables, the name tables.
  uint32_t cursor = table_size(types.size());
  std::vector<uint32_t> type_tables;
  for (size_t t = 0; t < types.size(); ++t) {
    type_tables.push_back(cursor);
    cursor += table_size(names[t].size());
  }
  std::vector<std::vector<uint32_t>> name_tables(types.size());
  size_t leaf_count = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    for (const auto* entry : names[t]) {
      name_tables[t].push_back(cursor);
      cursor += table_size(entry->languages.size());
      leaf_count += entry->languages.size();
    }
  }
  built.directory_end = cursor;

  // Name strings, in the order their entries appear.
  Bytes& bytes = built.bytes;
  bytes.assign(cursor, 0);
  auto add_string = [&](const ResourceName& name) -> uint32_t {
    if (!name.is_string) return name.id;
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    append16(bytes, static_cast<uint16_t>(name.text.size()));
    append_text(bytes, name.text);
    return kHighBit | offset;
  };
  std::vector<uint32_t> type_names;
  for (const auto* type : types) type_names.push_back(add_string(type->type));
  std::vector<std::vector<uint32_t>> entry_names(types.size());
  for (size_t t = 0; t < types.size(); ++t) {
    for (const auto* entry : names[t]) {
      entry_names[t].push_back(add_string(entry->name));
    }
  }
  built.strings_end = static_cast<uint32_t>(bytes.size());
  pad_to(bytes, 4);

  const uint32_t data_entries_start = static_cast<uint32_t>(bytes.size());
  built.data_entries_end =
      data_entries_start + 16 * static_cast<uint32_t>(leaf_count);
  bytes.resize(built.data_entries_end, 0);

  // Tables and entries; data entries numbered in walk order.
  put_directory(bytes, 0, count_named(types),
                static_cast<uint16_t>(types.size() - count_named(types)));
  size_t leaf = 0;
  std::vector<const ResourceLanguage*> leaves;
  for (size_t t = 0; t < types.size(); ++t) {
    put_entry(bytes, 16 + 8 * t, type_names[t], kHighBit | type_tables[t]);
    put_directory(
        bytes, type_tables[t], count_named(names[t]),
        static_cast<uint16_t>(names[t].size() - count_named(names[t])));
    for (size_t n = 0; n < names[t].size(); ++n) {
      const ResourceEntrySpec& entry = *names[t][n];
      put_entry(bytes, type_tables[t] + 16 + 8 * n, entry_names[t][n],
                kHighBit | name_tables[t][n]);
      put_directory(bytes, name_tables[t][n], 0,
                    static_cast<uint16_t>(entry.languages.size()));
      for (size_t l = 0; l < entry.languages.size(); ++l) {
        const size_t slot =
            spec.reverse_data_entries ? leaf_count - 1 - leaf : leaf;
        const uint32_t data_entry =
            data_entries_start + 16 * static_cast<uint32_t>(slot);
        put_entry(bytes, name_tables[t][n] + 16 + 8 * l,
                  entry.languages[l].lang, data_entry);
        built.data_entry_offsets.push_back(data_entry);
        built.items.push_back(entry.languages[l].data);
        built.item_types.push_back(types[t]->type);
        leaves.push_back(&entry.languages[l]);
        ++leaf;
      }
    }
  }

  // Data items at multiples of the packing step.
  for (size_t i = 0; i < leaves.size(); ++i) {
    pad_to(bytes, spec.data_step);
    const uint32_t item = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), leaves[i]->data.begin(), leaves[i]->data.end());
    put_data_entry(bytes, built.data_entry_offsets[i], section_rva + item,
                   static_cast<uint32_t>(leaves[i]->data.size()));
    put32(bytes, built.data_entry_offsets[i] + 8, leaves[i]->code_page);
  }
  return built;
}

// --- A ready-made image around a resource section ------------------------

namespace {

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + i * 7);
  }
  return bytes;
}

ResourceImage image_around(const Bytes& rsrc_raw,
                           const ResourceImageOptions& options) {
  ImageSpec spec;
  spec.pe32_plus = options.pe32_plus;
  spec.file_alignment = options.file_alignment;
  spec.sections.push_back(
      {".text", kTextRva, 0x40, pattern(0x40, 0x11), kCode});
  const uint32_t rsrc_virtual_size =
      options.rsrc_virtual_size != 0 ? options.rsrc_virtual_size
                                     : static_cast<uint32_t>(rsrc_raw.size());
  spec.sections.push_back(
      {".rsrc", kRsrcRva, rsrc_virtual_size, rsrc_raw, kInitializedData});
  if (options.with_reloc) {
    const uint32_t reloc_rva =
        kRsrcRva +
        round_up(std::max<uint32_t>(rsrc_virtual_size,
                                    static_cast<uint32_t>(rsrc_raw.size())),
                 0x1000);
    spec.sections.push_back(
        {".reloc", reloc_rva, 0x30, pattern(0x30, 0x5B), 0x42000040});
  }
  spec.tail = options.tail;
  ResourceImage result;
  result.image = build_image(spec);
  result.rsrc_index = 1;
  result.rsrc_raw = result.image.raw_pointers[1];
  return result;
}

}  // namespace

ResourceImage make_resource_image(const ResourceTreeSpec& tree,
                                  const ResourceImageOptions& options) {
  BuiltResources resources = build_resources(tree, kRsrcRva);
  ResourceImage result = image_around(resources.bytes, options);
  result.resources = std::move(resources);
  return result;
}

ResourceImage make_raw_resource_image(const Bytes& rsrc_raw,
                                      const ResourceImageOptions& options) {
  return image_around(rsrc_raw, options);
}

// --- Menu templates ------------------------------------------------------

namespace {

void append_menu_items(Bytes& bytes, const std::vector<MenuItem>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    const MenuItem& item = items[i];
    const bool popup = !item.children.empty();
    uint16_t flags = item.extra_flags;
    if (popup) flags |= kMfPopup;
    if (i + 1 == items.size()) flags |= kMfEnd;
    append16(bytes, flags);
    if (!popup) append16(bytes, static_cast<uint16_t>(item.id));
    append_text(bytes, item.text);
    append16(bytes, 0);
    if (popup) append_menu_items(bytes, item.children);
  }
}

void append_menuex_items(Bytes& bytes, const std::vector<MenuItem>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    const MenuItem& item = items[i];
    const bool popup = !item.children.empty();
    pad_to(bytes, 4);
    append32(bytes, item.extra_flags);  // dwType
    append32(bytes, 0);                 // dwState
    append32(bytes, item.id);           // menuId
    uint16_t res_info = 0;
    if (popup) res_info |= kResInfoPopup;
    if (i + 1 == items.size()) res_info |= kResInfoEnd;
    append16(bytes, res_info);
    append_text(bytes, item.text);
    append16(bytes, 0);
    pad_to(bytes, 4);
    if (popup) {
      append32(bytes, 0);  // dwHelpId
      append_menuex_items(bytes, item.children);
    }
  }
}

}  // namespace

Bytes make_menu(const std::vector<MenuItem>& items) {
  Bytes bytes;
  append16(bytes, 0);  // wVersion
  append16(bytes, 0);  // cbHeaderSize
  append_menu_items(bytes, items);
  return bytes;
}

Bytes make_menuex(const std::vector<MenuItem>& items) {
  Bytes bytes;
  append16(bytes, 1);  // wVersion
  append16(bytes, 4);  // wOffset: the help id below
  append32(bytes, 0);  // dwHelpId
  append_menuex_items(bytes, items);
  return bytes;
}

// --- List files ----------------------------------------------------------

namespace {

void append_unit(Bytes& bytes, char16_t unit, ByteOrder order) {
  const uint8_t low = static_cast<uint8_t>(unit);
  const uint8_t high = static_cast<uint8_t>(unit >> 8);
  if (order == ByteOrder::little) {
    bytes.push_back(low);
    bytes.push_back(high);
  } else {
    bytes.push_back(high);
    bytes.push_back(low);
  }
}

std::u16string line_break_text(LineBreak line_break) {
  switch (line_break) {
    case LineBreak::crlf:
      return u"\r\n";
    case LineBreak::lf:
      return u"\n";
    case LineBreak::cr:
      return u"\r";
  }
  return u"\n";
}

}  // namespace

Bytes make_list(const std::vector<std::u16string>& lines,
                const ListFormat& format) {
  std::u16string text = u"\xFEFF";
  const std::u16string line_break = line_break_text(format.line_break);
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || format.final_break) text += line_break;
  }
  Bytes bytes;
  for (char16_t unit : text) append_unit(bytes, unit, format.order);
  return bytes;
}

Bytes make_pair_list(
    const std::vector<std::pair<std::u16string, std::u16string>>& pairs,
    const ListFormat& format) {
  std::vector<std::u16string> lines;
  for (const auto& pair : pairs) {
    lines.push_back(pair.first);
    lines.push_back(pair.second);
  }
  return make_list(lines, format);
}

}  // namespace testsupport
