// SPDX-License-Identifier: MIT
// Synthetic inputs for the benchmarks: UI texts, menu and dialog templates,
// large opaque resource items, PE32 images holding them, and list files.
//
// Everything is generated from a seed, so every run measures the same bytes
// and nothing large has to be kept in the repository.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace benchinputs {

using Bytes = std::vector<uint8_t>;

// A small, fast deterministic generator (splitmix64).
struct Rng {
  uint64_t state = 0;
  uint64_t next();
  // Uniform in [low, high].
  uint32_t between(uint32_t low, uint32_t high);
  bool chance(uint32_t percent) { return between(0, 99) < percent; }
};

// A menu or dialog text: one to four words, now and then with an
// accelerator mark, an ellipsis or a shortcut after a tab.
std::u16string make_text(Rng* rng);
// A text that never occurs in generated resources (it holds a digit run
// generated texts never contain).
std::u16string make_absent_text(Rng* rng);

// A menu template (classic or extended) of about `target_bytes`; every item
// text it holds is appended to `texts`.
Bytes make_menu(Rng* rng, size_t target_bytes, bool extended,
                std::vector<std::u16string>* texts);
// A dialog template (classic or extended) with `controls` controls, a title,
// a typeface, and creation data in some controls.
Bytes make_dialog(Rng* rng, uint32_t controls, bool extended,
                  std::vector<std::u16string>* texts);
// Opaque bytes (bitmaps, fonts, raw data).
Bytes make_blob(Rng* rng, size_t size);

// One resource item: type ID, name ID, bytes.
struct Resource {
  uint32_t type = 0;
  uint32_t name = 0;
  Bytes data;
};

// A PE32 image with a code section, a resource section holding `resources`
// (directory first, items after it at 8-byte steps, as linkers lay them
// out) and a relocation section behind it.
Bytes make_image(std::vector<Resource> resources);

// A UTF-16LE list file with a byte-order mark and CR LF line breaks.
Bytes make_list(const std::vector<std::u16string>& finds,
                const std::vector<std::u16string>& replacements);

// `count` find texts: about 40 % whole texts of `present`, 30 % tails of
// them, 30 % absent texts; and a replacement for each.
void make_pairs(Rng* rng, const std::vector<std::u16string>& present,
                size_t count, std::vector<std::u16string>* finds,
                std::vector<std::u16string>* replacements);
// `count` - 1 absent find texts and `always_present` last.
void make_absent_pairs(Rng* rng, const std::u16string& always_present,
                       size_t count, std::vector<std::u16string>* finds,
                       std::vector<std::u16string>* replacements);

// A text present in every generated image, so that even a list of absent
// texts replaces something and the output is written.
inline const std::u16string kAlwaysPresent = u"&Help Topics";

// The three whole-process inputs: (a) mostly large opaque items,
// (b) menus, (c) dialogs, with the texts they hold.
struct Corpus {
  Bytes image;
  std::vector<std::u16string> texts;
};
Corpus make_large_items_image(uint64_t seed, size_t total_bytes);
Corpus make_menus_image(uint64_t seed, size_t total_bytes);
Corpus make_dialogs_image(uint64_t seed, size_t total_bytes);

}  // namespace benchinputs
