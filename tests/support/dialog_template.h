// SPDX-License-Identifier: MIT
// Dialog templates, classic and extended: one writer for the unit tests, the
// fuzz recipes and the benchmark inputs, and one reader that reads a template
// the way dialog loaders do (font fields only with DS_SETFONT, nothing after
// a 0x7FFF point size, controls on 4-byte boundaries, creation data sized by
// its count). Written from the published format, like pe_builder.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/pe_builder.h"

namespace testsupport {

inline constexpr uint32_t kDsSetFont = 0x40;
inline constexpr uint32_t kDsFixedSys = 0x08;

// A menu, class or control title field: an ordinal or a text.
struct DialogField {
  bool ordinal = false;
  uint16_t value = 0;
  std::u16string text;
  bool operator==(const DialogField&) const = default;
};

DialogField ordinal_field(uint16_t value);
DialogField text_field(const std::u16string& text);

struct DialogControl {
  uint32_t style = 0x50000000;
  uint32_t id = 1;
  DialogField window_class = ordinal_field(0x0080);
  DialogField title = text_field(u"");
  uint16_t data_count = 0;     // the creation data's count unit as stored
  std::vector<uint16_t> data;  // the units after it
  uint16_t rect[4] = {5, 6, 50, 14};  // x, y, cx, cy in dialog units
  bool operator==(const DialogControl&) const = default;
};

struct DialogSpec {
  bool extended = false;
  uint32_t style = 0x80C00000;
  uint16_t declared_controls = 0xFFFF;  // 0xFFFF: controls.size()
  DialogField menu = text_field(u"");
  DialogField window_class = text_field(u"");
  std::u16string title;
  // The font fields, written with DS_SETFONT only; a point size of 0x7FFF
  // (the message box font) ends the header.
  uint16_t point_size = 8;
  uint16_t weight = 400;
  uint8_t italic = 0;
  uint8_t charset = 1;
  std::u16string typeface;
  std::vector<DialogControl> controls;
  uint16_t rect[4] = {10, 20, 200, 100};  // x, y, cx, cy in dialog units
  bool operator==(const DialogSpec&) const = default;
};

Bytes make_dialog(const DialogSpec& dialog);

// Reads a template; false, with the reason and byte in *error, on anything a
// loader would misread: a misaligned control, a non-zero gap, a truncated
// field, or bytes left over at the end. Font fields a template does not
// hold read as DialogSpec's defaults.
bool read_dialog(const uint8_t* bytes, size_t size, DialogSpec* dialog,
                 std::string* error);

}  // namespace testsupport
