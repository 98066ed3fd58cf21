// SPDX-License-Identifier: MIT
#include "bench_inputs.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "support/dialog_template.h"
#include "support/pe_builder.h"

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

// A text and its zero terminator.
void append_text(Bytes* bytes, const std::u16string& text) {
  testsupport::append_text(*bytes, text);
  testsupport::append16(*bytes, 0);
}

void append16(Bytes* bytes, uint16_t value) {
  testsupport::append16(*bytes, value);
}
void append32(Bytes* bytes, uint32_t value) {
  testsupport::append32(*bytes, value);
}
void pad_to(Bytes* bytes, size_t alignment) {
  testsupport::pad_to(*bytes, alignment);
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

// Creation data in some controls: a few binary units, now and then a text,
// now and then an odd byte count.
void add_creation_data(Rng* rng, bool extended,
                       testsupport::DialogControl* control,
                       std::vector<std::u16string>* texts) {
  if (!rng->chance(15)) return;
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
  control->data_count = static_cast<uint16_t>(data.size() + (extended ? 0 : 2));
  data.push_back(0);  // an odd count's last unit
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    control->data.push_back(static_cast<uint16_t>(data[i] | data[i + 1] << 8));
  }
}

testsupport::DialogControl make_control(Rng* rng, uint32_t index, bool extended,
                                        std::vector<std::u16string>* texts) {
  testsupport::DialogControl control;
  control.style = 0x50010000;  // child, visible, tab stop
  control.id = 1000 + index;
  uint32_t kind = rng->between(0, 9);
  control.window_class =
      kind == 0 ? testsupport::text_field(u"SysListView32")
                : testsupport::ordinal_field(kind < 5   ? kStaticClass
                                             : kind < 8 ? kButtonClass
                                                        : kEditClass);
  if (kind == 9 || rng->chance(5)) {
    // An icon or an empty title by ordinal.
    control.title =
        testsupport::ordinal_field(static_cast<uint16_t>(rng->between(1, 200)));
  } else {
    std::u16string text = make_text(rng);
    texts->push_back(text);
    control.title = testsupport::text_field(text);
  }
  add_creation_data(rng, extended, &control, texts);
  return control;
}

}  // namespace

Bytes make_dialog(Rng* rng, uint32_t controls, bool extended,
                  std::vector<std::u16string>* texts) {
  testsupport::DialogSpec dialog;
  dialog.extended = extended;
  dialog.style = kDialogStyle;
  dialog.title = make_text(rng);
  texts->push_back(dialog.title);
  dialog.typeface = u"MS Shell Dlg";
  for (uint32_t m = 0; m < controls; ++m) {
    dialog.controls.push_back(make_control(rng, m, extended, texts));
  }
  return testsupport::make_dialog(dialog);
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

// Types and names in ascending order with one language each, as linkers
// sort them; items at 8-byte steps behind the directory.
testsupport::ResourceTreeSpec make_tree(std::vector<Resource> resources) {
  std::sort(resources.begin(), resources.end(),
            [](const Resource& a, const Resource& b) {
              return a.type != b.type ? a.type < b.type : a.name < b.name;
            });
  testsupport::ResourceTreeSpec tree;
  for (Resource& r : resources) {
    if (tree.types.empty() || tree.types.back().type.id != r.type) {
      tree.types.push_back({testsupport::rid(r.type), {}});
    }
    tree.types.back().entries.push_back(
        {testsupport::rid(r.name), {{0x409, std::move(r.data), 1252}}});
  }
  return tree;
}

}  // namespace

Bytes make_image(std::vector<Resource> resources) {
  constexpr uint32_t kSectionAlignment = 0x1000;
  Rng rng{42};
  testsupport::ImageSpec spec;
  spec.checksum = 0;  // a stated checksum would add a pass over the output
  spec.sections.push_back({".text", testsupport::kTextRva, 0,
                           make_blob(&rng, 0x3000), testsupport::kCode});
  Bytes relocations = make_blob(&rng, 0x800);
  const uint32_t resource_rva =
      testsupport::kTextRva + testsupport::round_up(0x3000, kSectionAlignment);
  testsupport::BuiltResources built = testsupport::build_resources(
      make_tree(std::move(resources)), resource_rva);
  built.items.clear();  // copies of the items, not needed here
  const uint32_t reloc_rva =
      resource_rva +
      testsupport::round_up(static_cast<uint32_t>(built.bytes.size()),
                            kSectionAlignment);
  spec.sections.push_back({".rsrc", resource_rva, 0, std::move(built.bytes),
                           testsupport::kInitializedData});
  spec.sections.push_back(
      {".reloc", reloc_rva, 0, std::move(relocations), 0x42000040});
  return testsupport::build_image(spec).bytes;
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
  corpus.image = make_image(std::move(resources));
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
  corpus.image = make_image(std::move(resources));
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
  corpus.image = make_image(std::move(resources));
  return corpus;
}

}  // namespace benchinputs
