#include "bench_inputs.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace benchinputs {

uint64_t Rng::next() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t Rng::between(uint32_t low, uint32_t high) {
  return low + static_cast<uint32_t>(next() % (uint64_t{high} - low + 1));
}

namespace {

void append16(Bytes* bytes, uint16_t value) {
  bytes->push_back(static_cast<uint8_t>(value));
  bytes->push_back(static_cast<uint8_t>(value >> 8));
}

void append32(Bytes* bytes, uint32_t value) {
  append16(bytes, static_cast<uint16_t>(value));
  append16(bytes, static_cast<uint16_t>(value >> 16));
}

void put32(Bytes* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

void put16(Bytes* bytes, size_t offset, uint16_t value) {
  (*bytes)[offset] = static_cast<uint8_t>(value);
  (*bytes)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// A text and its zero terminator.
void append_text(Bytes* bytes, const std::u16string& text) {
  for (char16_t unit : text) append16(bytes, static_cast<uint16_t>(unit));
  append16(bytes, 0);
}

void pad_to(Bytes* bytes, size_t alignment) {
  while (bytes->size() % alignment != 0) bytes->push_back(0);
}

std::u16string make_word(Rng* rng) {
  static const char kConsonants[] = "bcdfghjklmnprstvwz";
  static const char kVowels[] = "aeiou";
  std::u16string word;
  uint32_t syllables = rng->between(1, 3);
  for (uint32_t i = 0; i < syllables; ++i) {
    word += static_cast<char16_t>(kConsonants[rng->between(0, 17)]);
    word += static_cast<char16_t>(kVowels[rng->between(0, 4)]);
    if (rng->chance(40)) {
      word += static_cast<char16_t>(kConsonants[rng->between(0, 17)]);
    }
  }
  return word;
}

}  // namespace

std::u16string make_text(Rng* rng) {
  std::u16string text;
  uint32_t words = rng->between(1, 4);
  for (uint32_t i = 0; i < words; ++i) {
    if (i > 0) text += u' ';
    std::u16string word = make_word(rng);
    if (i == 0) word[0] = static_cast<char16_t>(word[0] - u'a' + u'A');
    text += word;
  }
  if (rng->chance(30)) {
    // An accelerator mark before the first or the second letter.
    size_t at = rng->between(0, 1);
    std::u16string marked = text.substr(0, at);
    marked += u'&';
    marked += text.substr(at);
    text = marked;
  }
  if (rng->chance(15)) text += u"...";
  if (rng->chance(10)) text += u"\tCtrl+" + make_word(rng).substr(0, 1);
  return text;
}

std::u16string make_absent_text(Rng* rng) {
  std::u16string text = make_text(rng);
  text += u" #";
  for (int i = 0; i < 6; ++i) {
    text += static_cast<char16_t>(u'0' + rng->between(0, 9));
  }
  return text;
}

namespace {

constexpr uint16_t kMenuPopup = 0x10;
constexpr uint16_t kMenuEnd = 0x80;
constexpr uint16_t kMenuSeparator = 0x800;
constexpr uint16_t kExMenuPopup = 0x01;
constexpr uint16_t kExMenuEnd = 0x80;

struct MenuWriter {
  Rng* rng;
  bool extended;
  Bytes bytes;
  std::vector<std::u16string>* texts;
  uint32_t next_id = 100;

  std::u16string text() {
    std::u16string t = make_text(rng);
    texts->push_back(t);
    return t;
  }

  void item(bool last, bool popup) {
    uint16_t end = last ? (extended ? kExMenuEnd : kMenuEnd) : 0;
    bool separator = !popup && rng->chance(8);
    if (extended) {
      pad_to(&bytes, 4);
      append32(&bytes, separator ? kMenuSeparator : 0);  // type
      append32(&bytes, 0);                               // state
      append32(&bytes, popup ? 0 : next_id++);           // id
      append16(&bytes, static_cast<uint16_t>(end | (popup ? kExMenuPopup : 0)));
      append_text(&bytes, separator ? std::u16string() : text());
      if (popup) {
        pad_to(&bytes, 4);
        append32(&bytes, 0);  // help ID
      }
    } else {
      append16(&bytes, static_cast<uint16_t>(end | (popup ? kMenuPopup : 0)));
      if (!popup) append16(&bytes, separator ? 0 : next_id++);
      append_text(&bytes, separator ? std::u16string() : text());
    }
  }

  void popup(bool last, int depth) {
    item(last, true);
    uint32_t count = rng->between(4, 14);
    for (uint32_t i = 0; i < count; ++i) {
      bool nested = depth < 2 && rng->chance(8);
      if (nested) {
        popup(i + 1 == count, depth + 1);
      } else {
        item(i + 1 == count, false);
      }
    }
  }
};

}  // namespace

Bytes make_menu(Rng* rng, size_t target_bytes, bool extended,
                std::vector<std::u16string>* texts) {
  MenuWriter writer{rng, extended, {}, texts};
  if (extended) {
    append16(&writer.bytes, 1);  // version
    append16(&writer.bytes, 4);  // offset to the items
    append32(&writer.bytes, 0);  // help ID
  } else {
    append32(&writer.bytes, 0);  // version 0, header size 0
  }
  // Each popup takes about 300 bytes.
  size_t popups = std::max<size_t>(1, target_bytes / 300);
  for (size_t i = 0; i < popups; ++i) writer.popup(i + 1 == popups, 0);
  return writer.bytes;
}

namespace {

constexpr uint32_t kDialogStyle = 0x80C800C8;  // popup, caption, sysmenu,
                                               // DS_SETFONT | DS_MODALFRAME
constexpr uint16_t kButtonClass = 0x0080;
constexpr uint16_t kEditClass = 0x0081;
constexpr uint16_t kStaticClass = 0x0082;

void append_creation_data(Rng* rng, bool extended, Bytes* bytes,
                          std::vector<std::u16string>* texts) {
  if (!rng->chance(15)) {
    append16(bytes, 0);
    return;
  }
  Bytes data;
  uint32_t leading = rng->between(0, 3);
  for (uint32_t i = 0; i < leading; ++i) append16(&data, 0x1234);
  if (rng->chance(60)) {
    std::u16string text = make_text(rng);
    texts->push_back(text);
    append_text(&data, text);
  }
  if (rng->chance(50)) data.push_back(0x5A);  // an odd byte count
  if (data.empty()) data.push_back(1);
  uint16_t count = static_cast<uint16_t>(data.size() + (extended ? 0 : 2));
  append16(bytes, count);
  bytes->insert(bytes->end(), data.begin(), data.end());
}

}  // namespace

Bytes make_dialog(Rng* rng, uint32_t controls, bool extended,
                  std::vector<std::u16string>* texts) {
  Bytes bytes;
  if (extended) {
    append16(&bytes, 1);       // version
    append16(&bytes, 0xFFFF);  // signature
    append32(&bytes, 0);       // help ID
    append32(&bytes, 0);       // extended style
    append32(&bytes, kDialogStyle);
  } else {
    append32(&bytes, kDialogStyle);
    append32(&bytes, 0);  // extended style
  }
  append16(&bytes, static_cast<uint16_t>(controls));
  for (int i = 0; i < 4; ++i) append16(&bytes, static_cast<uint16_t>(10 * i));
  append16(&bytes, 0);  // no menu
  append16(&bytes, 0);  // default class
  std::u16string title = make_text(rng);
  texts->push_back(title);
  append_text(&bytes, title);
  append16(&bytes, 8);  // point size
  if (extended) {
    append16(&bytes, 400);  // weight
    bytes.push_back(0);     // italic
    bytes.push_back(1);     // charset
  }
  append_text(&bytes, u"MS Shell Dlg");
  for (uint32_t m = 0; m < controls; ++m) {
    pad_to(&bytes, 4);
    if (extended) {
      append32(&bytes, 0);  // help ID
      append32(&bytes, 0);  // extended style
    }
    append32(&bytes, 0x50010000);  // child, visible, tab stop
    if (!extended) append32(&bytes, 0);
    for (int i = 0; i < 4; ++i) append16(&bytes, static_cast<uint16_t>(7 * i));
    if (extended) {
      append32(&bytes, 1000 + m);
    } else {
      append16(&bytes, static_cast<uint16_t>(1000 + m));
    }
    uint32_t kind = rng->between(0, 9);
    if (kind == 0) {
      append_text(&bytes, u"SysListView32");
    } else {
      append16(&bytes, 0xFFFF);
      append16(&bytes, kind < 5   ? kStaticClass
                       : kind < 8 ? kButtonClass
                                  : kEditClass);
    }
    if (kind == 9 || rng->chance(5)) {
      append16(&bytes, 0xFFFF);  // an icon or an empty title by ordinal
      append16(&bytes, static_cast<uint16_t>(rng->between(1, 200)));
    } else {
      std::u16string text = make_text(rng);
      texts->push_back(text);
      append_text(&bytes, text);
    }
    append_creation_data(rng, extended, &bytes, texts);
  }
  return bytes;
}

Bytes make_blob(Rng* rng, size_t size) {
  Bytes bytes(size);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t value = rng->next();
    std::memcpy(bytes.data() + i, &value, 8);
  }
  for (; i < size; ++i) bytes[i] = static_cast<uint8_t>(rng->next());
  return bytes;
}

namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kHeadersSize = 0x400;
constexpr uint32_t kNtOffset = 0x80;
constexpr uint32_t kOptionalHeaderSize = 224;

uint32_t round_up(uint64_t value, uint32_t step) {
  return static_cast<uint32_t>((value + step - 1) / step * step);
}

// The resource section's raw bytes, laid out for RVA `rva`.
Bytes make_resource_section(const std::vector<Resource>& resources,
                            uint32_t rva) {
  std::map<uint32_t, std::map<uint32_t, const Resource*>> tree;
  for (const Resource& r : resources) tree[r.type][r.name] = &r;
  size_t name_count = 0;
  for (const auto& [type, names] : tree) name_count += names.size();

  uint32_t root_size = 16 + 8 * static_cast<uint32_t>(tree.size());
  uint32_t type_dirs = 16 * static_cast<uint32_t>(tree.size()) +
                       8 * static_cast<uint32_t>(name_count);
  uint32_t name_dirs = static_cast<uint32_t>(name_count) * (16 + 8);
  uint32_t data_entries_at = root_size + type_dirs + name_dirs;
  uint32_t data_at = data_entries_at + 16 * static_cast<uint32_t>(name_count);

  Bytes section(data_at, 0);
  put16(&section, 14, static_cast<uint16_t>(tree.size()));
  uint32_t type_dir = root_size;
  uint32_t name_dir = root_size + type_dirs;
  uint32_t data_entry = data_entries_at;
  uint32_t type_index = 0;
  for (const auto& [type, names] : tree) {
    put32(&section, 16 + 8 * type_index, type);
    put32(&section, 16 + 8 * type_index + 4, 0x80000000u | type_dir);
    put16(&section, type_dir + 14, static_cast<uint16_t>(names.size()));
    uint32_t name_index = 0;
    for (const auto& [name, resource] : names) {
      put32(&section, type_dir + 16 + 8 * name_index, name);
      put32(&section, type_dir + 16 + 8 * name_index + 4,
            0x80000000u | name_dir);
      put16(&section, name_dir + 14, 1);
      put32(&section, name_dir + 16, 0x409);
      put32(&section, name_dir + 20, data_entry);
      pad_to(&section, 8);
      put32(&section, data_entry, rva + static_cast<uint32_t>(section.size()));
      put32(&section, data_entry + 4,
            static_cast<uint32_t>(resource->data.size()));
      put32(&section, data_entry + 8, 1252);
      section.insert(section.end(), resource->data.begin(),
                     resource->data.end());
      name_dir += 24;
      data_entry += 16;
      ++name_index;
    }
    type_dir += 16 + 8 * static_cast<uint32_t>(names.size());
    ++type_index;
  }
  return section;
}

}  // namespace

Bytes make_image(const std::vector<Resource>& resources) {
  Rng rng{42};
  Bytes code = make_blob(&rng, 0x3000);
  Bytes relocations = make_blob(&rng, 0x800);
  uint32_t code_rva = kSectionAlignment;
  uint32_t resource_rva = code_rva + round_up(code.size(), kSectionAlignment);
  Bytes resource_section = make_resource_section(resources, resource_rva);
  uint32_t reloc_rva =
      resource_rva + round_up(resource_section.size(), kSectionAlignment);
  uint32_t image_size =
      reloc_rva + round_up(relocations.size(), kSectionAlignment);

  struct Section {
    const char* name;
    uint32_t rva;
    const Bytes* raw;
    uint32_t characteristics;
  };
  const Section sections[] = {
      {".text", code_rva, &code, 0x60000020},
      {".rsrc", resource_rva, &resource_section, 0x40000040},
      {".reloc", reloc_rva, &relocations, 0x42000040},
  };
  uint64_t file_size = kHeadersSize;
  for (const Section& s : sections)
    file_size += round_up(s.raw->size(), kFileAlignment);

  Bytes image;
  image.reserve(file_size);
  image.resize(kHeadersSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  put32(&image, 0x3C, kNtOffset);
  std::memcpy(image.data() + kNtOffset, "PE\0\0", 4);
  uint32_t file_header = kNtOffset + 4;
  put16(&image, file_header, 0x14C);  // i386
  put16(&image, file_header + 2, 3);
  put16(&image, file_header + 16, kOptionalHeaderSize);
  put16(&image, file_header + 18, 0x0102);  // executable, 32-bit
  uint32_t optional = file_header + 20;
  put16(&image, optional, 0x10B);
  put32(&image, optional + 16, code_rva);  // entry point
  put32(&image, optional + 28, 0x400000);  // image base
  put32(&image, optional + 32, kSectionAlignment);
  put32(&image, optional + 36, kFileAlignment);
  put16(&image, optional + 40, 6);  // OS version
  put16(&image, optional + 48, 6);  // subsystem version
  put32(&image, optional + 56, image_size);
  put32(&image, optional + 60, kHeadersSize);
  put16(&image, optional + 68, 2);   // GUI subsystem
  put32(&image, optional + 92, 16);  // data directory entries
  uint32_t directories = optional + 96;
  put32(&image, directories + 16, resource_rva);
  put32(&image, directories + 20,
        static_cast<uint32_t>(resource_section.size()));
  uint32_t table = optional + kOptionalHeaderSize;
  uint32_t raw_pointer = kHeadersSize;
  for (size_t i = 0; i < 3; ++i) {
    const Section& s = sections[i];
    uint32_t header = table + 40 * static_cast<uint32_t>(i);
    std::memcpy(image.data() + header, s.name, std::strlen(s.name));
    uint32_t raw_size = round_up(s.raw->size(), kFileAlignment);
    put32(&image, header + 8, static_cast<uint32_t>(s.raw->size()));
    put32(&image, header + 12, s.rva);
    put32(&image, header + 16, raw_size);
    put32(&image, header + 20, raw_pointer);
    put32(&image, header + 36, s.characteristics);
    image.insert(image.end(), s.raw->begin(), s.raw->end());
    pad_to(&image, kFileAlignment);
    raw_pointer += raw_size;
  }
  return image;
}

Bytes make_list(const std::vector<std::u16string>& finds,
                const std::vector<std::u16string>& replacements) {
  Bytes bytes{0xFF, 0xFE};
  for (size_t i = 0; i < finds.size(); ++i) {
    for (const std::u16string* text : {&finds[i], &replacements[i]}) {
      for (char16_t unit : *text) append16(&bytes, static_cast<uint16_t>(unit));
      append16(&bytes, u'\r');
      append16(&bytes, u'\n');
    }
  }
  return bytes;
}

namespace {

std::u16string make_replacement(Rng* rng, const std::u16string& find) {
  // Translations come out longer or shorter than the original.
  std::u16string text(1, u'<');
  text += find.substr(0, find.size() / 2);
  uint32_t extra = rng->between(0, 6);
  for (uint32_t i = 0; i < extra; ++i) text += u'x';
  text += u'>';
  return text;
}

}  // namespace

void make_pairs(Rng* rng, const std::vector<std::u16string>& present,
                size_t count, std::vector<std::u16string>* finds,
                std::vector<std::u16string>* replacements) {
  finds->clear();
  replacements->clear();
  while (finds->size() < count) {
    uint32_t kind = rng->between(0, 9);
    std::u16string find;
    const std::u16string& text =
        present[rng->between(0, static_cast<uint32_t>(present.size() - 1))];
    if (kind < 4) {
      find = text;
    } else if (kind < 7) {
      if (text.size() < 3) continue;
      size_t start = rng->between(1, static_cast<uint32_t>(text.size() - 2));
      find = text.substr(start);
    } else {
      find = make_absent_text(rng);
    }
    if (find.size() < 2) continue;
    finds->push_back(find);
    replacements->push_back(make_replacement(rng, find));
  }
}

void make_absent_pairs(Rng* rng, const std::u16string& always_present,
                       size_t count, std::vector<std::u16string>* finds,
                       std::vector<std::u16string>* replacements) {
  finds->clear();
  replacements->clear();
  while (finds->size() + 1 < count) {
    finds->push_back(make_absent_text(rng));
    replacements->push_back(make_replacement(rng, finds->back()));
  }
  finds->push_back(always_present);
  replacements->push_back(make_replacement(rng, always_present));
}

namespace {

constexpr uint32_t kTypeIcon = 3;
constexpr uint32_t kTypeMenu = 4;
constexpr uint32_t kTypeDialog = 5;
constexpr uint32_t kTypeStringTable = 6;
constexpr uint32_t kTypeRcData = 10;

// A menu holding the always-present text, so that every image has a hit.
Resource always_present_menu(Rng* rng, std::vector<std::u16string>* texts) {
  Resource menu{kTypeMenu, 1, make_menu(rng, 600, false, texts)};
  // Replace the menu's last text by the always-present one: rebuild it.
  Bytes bytes;
  append32(&bytes, 0);
  append16(&bytes, kMenuPopup | kMenuEnd);
  append_text(&bytes, u"&Help");
  append16(&bytes, kMenuEnd);
  append16(&bytes, 9001);
  append_text(&bytes, kAlwaysPresent);
  menu.data.insert(menu.data.begin(), bytes.begin(), bytes.end());
  // The generated menu follows as unreachable bytes; the rewriter scans
  // them all the same.
  texts->push_back(kAlwaysPresent);
  return menu;
}

}  // namespace

Corpus make_large_items_image(uint64_t seed, size_t total_bytes) {
  Rng rng{seed};
  Corpus corpus;
  std::vector<Resource> resources;
  resources.push_back(always_present_menu(&rng, &corpus.texts));
  // A realistic user interface: a few dozen menus and dialogs.
  for (uint32_t i = 0; i < 40; ++i) {
    resources.push_back(Resource{kTypeMenu, 100 + i,
                                 make_menu(&rng, rng.between(500, 4000),
                                           rng.chance(30), &corpus.texts)});
    resources.push_back(Resource{
        kTypeDialog, 100 + i,
        make_dialog(&rng, rng.between(3, 40), rng.chance(50), &corpus.texts)});
  }
  // Icons and string tables of ordinary sizes.
  for (uint32_t i = 0; i < 200; ++i) {
    resources.push_back(
        Resource{kTypeIcon, 1 + i, make_blob(&rng, rng.between(300, 70000))});
    resources.push_back(Resource{kTypeStringTable, 1 + i,
                                 make_blob(&rng, rng.between(100, 3000))});
  }
  size_t used = 0;
  for (const Resource& r : resources) used += r.data.size();
  // The bulk: large opaque items (videos, archives, fonts) of 1 to 8 MiB.
  for (uint32_t i = 0; used < total_bytes; ++i) {
    size_t size =
        std::min<size_t>(rng.between(1u << 20, 8u << 20), total_bytes - used);
    resources.push_back(Resource{kTypeRcData, 1 + i, make_blob(&rng, size)});
    used += size;
  }
  corpus.image = make_image(resources);
  return corpus;
}

Corpus make_menus_image(uint64_t seed, size_t total_bytes) {
  Rng rng{seed};
  Corpus corpus;
  std::vector<Resource> resources;
  resources.push_back(always_present_menu(&rng, &corpus.texts));
  size_t used = resources.back().data.size();
  for (uint32_t i = 0; used < total_bytes; ++i) {
    size_t target =
        rng.chance(10) ? rng.between(20000, 200000) : rng.between(300, 8000);
    resources.push_back(
        Resource{kTypeMenu, 100 + i,
                 make_menu(&rng, target, rng.chance(30), &corpus.texts)});
    used += resources.back().data.size();
  }
  corpus.image = make_image(resources);
  return corpus;
}

Corpus make_dialogs_image(uint64_t seed, size_t total_bytes) {
  Rng rng{seed};
  Corpus corpus;
  std::vector<Resource> resources;
  resources.push_back(always_present_menu(&rng, &corpus.texts));
  size_t used = resources.back().data.size();
  for (uint32_t i = 0; used < total_bytes; ++i) {
    uint32_t controls =
        rng.chance(5) ? rng.between(100, 400) : rng.between(2, 40);
    resources.push_back(
        Resource{kTypeDialog, 100 + i,
                 make_dialog(&rng, controls, rng.chance(50), &corpus.texts)});
    used += resources.back().data.size();
  }
  corpus.image = make_image(resources);
  return corpus;
}

}  // namespace benchinputs
