// SPDX-License-Identifier: MIT
// Readers of menu and dialog templates and string blocks: they say where
// each text a translation looks up lies in an item, and what kind of place
// it is. The
// rewriters and the read-only passes (extraction, the report) use the same
// readers, so they cannot disagree about what a text is.
//
// Readers are cursors: each call yields the next part of the template, in
// the order of the format, and every read is bounds-checked. Positions and
// lengths count 16-bit units from the item's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "common/invalid_reason.h"

namespace uitrans {

// The kinds of places a text is looked up in.
enum class TextPlace {
  menu_item,
  dialog_title,
  typeface,
  control_title,
  creation_data,
  string,         // a string of a string table
  version_value,  // the value of a String of version information
  message,        // an entry of a message table
};

// ---- Menus (MENUITEMTEMPLATE and MENUEX_TEMPLATE_ITEM) ----

inline constexpr uint16_t kExtendedMenuVersion = 1;

// True when the item's first unit says it is an extended menu template.
bool is_extended_menu(UnitView units, size_t item_units);

struct MenuItemText {
  uint32_t number = 0;  // 1 for the template's first item, in template order
  uint32_t id = 0;      // the command id (0 for classic pop-ups)
  uint32_t level = 0;   // pop-ups open around it: 0 on the menu bar
  bool popup = false;
  size_t start = 0;   // first unit of the text
  size_t length = 0;  // units, without the terminator
};

struct MenuReader {
  UnitView units;
  size_t item_units = 0;  // the item's Size, in whole units
  size_t position = 0;
  bool extended = false;
  uint32_t next_number = 1;
  std::vector<bool> level_ends;  // per open pop-up: its item ended its level
  bool done = false;
};

void start_menu(MenuReader* reader, UnitView units, size_t item_units);

// The next item's text, as a loader reads the template. False at the end of
// the template or where it stops making sense (a loader would fail there);
// the menu rewriter does not depend on the template being well formed.
bool next_menu_item(MenuReader* reader, MenuItemText* item);

// ---- Dialogs (DLGTEMPLATE(EX) and DLGITEMTEMPLATE(EX)) ----

enum class DialogPart {
  fixed,          // units kept as they are (header, font fields, control)
  menu,           // ordinal or text, kept
  window_class,   // ordinal or text, kept
  title,          // the dialog's title: a text looked up
  typeface,       // a text looked up
  align,          // the template continues at an even unit
  control_class,  // ordinal or text, kept
  control_title,  // ordinal (kept) or text (looked up)
  creation_data,  // a count unit, then data scanned for texts
};

// A dialog's or a control's style and rectangle, in dialog units.
struct DialogGeometry {
  uint32_t style = 0;
  uint32_t ex_style = 0;
  int16_t x = 0;
  int16_t y = 0;
  int16_t cx = 0;
  int16_t cy = 0;
};

// The font fields of a template with DS_SETFONT, as stored.
struct DialogFontFields {
  uint16_t point_size = 0;
  uint16_t weight = 0;  // extended templates only
  uint8_t italic = 0;   // extended templates only
};

struct DialogField {
  DialogPart part = DialogPart::fixed;
  size_t start = 0;         // first unit
  size_t units = 0;         // units taken, a text's terminator included
  bool ordinal = false;     // 0xFFFF and an ordinal instead of a text
  uint32_t control = 0;     // 1-based control number, for control fields
  uint32_t control_id = 0;  // the control's id, for control fields
  // Control titles: the class, as an ordinal (0x80 button ...) or a text.
  uint16_t class_ordinal = 0;
  size_t class_start = 0;
  size_t class_length = 0;  // 0 with an ordinal class
  // Creation data: the count unit as stored, and the data after it.
  uint16_t creation_count = 0;
  size_t data_units = 0;
};

struct DialogReader {
  UnitView units;  // from the item's start to the end of the image
  size_t item_units = 0;
  size_t position = 0;
  bool extended = false;
  bool has_font = false;
  uint32_t control_count = 0;
  uint32_t step = 0;     // where in the template the next field is
  uint32_t control = 0;  // controls started so far
  uint32_t control_id = 0;
  uint16_t class_ordinal = 0;
  size_t class_start = 0;
  size_t class_length = 0;
  DialogGeometry dialog_geometry;  // from the header
  // Controls' geometry is read only when asked for (records of the texts
  // want it; a rewrite alone does not). Fields stay small: the geometry of
  // the control a field belongs to is the reader's.
  bool with_geometry = false;
  DialogGeometry control_geometry;  // of the current control
  DialogFontFields font;            // once the font fields are read
  InvalidReason reason = InvalidReason::none;
};

// Checks the fixed header; false (with reader->reason) when the template is
// too short for it.
bool start_dialog(DialogReader* reader, UnitView units, uint32_t item_size);

// The next field. False at the end of the template, or when a field runs
// past the end of the image (then reader->reason is set). Reads may run past
// the item's Size, as loaders' do; only the check before each control
// compares with it.
bool next_dialog_field(DialogReader* reader, DialogField* field);

// Where x lies in a control's fixed part (y, cx and cy follow), in units.
size_t control_rect_unit(bool extended);

// True for the parts whose text is looked up as a whole text.
bool is_looked_up(const DialogField& field);

// The kind of place a dialog field's text is (control title for the parts
// that are no text of their own).
TextPlace place_of(const DialogField& field);

// ---- String tables (RT_STRING): blocks of 16 counted strings ----

inline constexpr uint32_t kStringsPerBlock = 16;

struct StringSlot {
  size_t start = 0;   // first unit of the text (after its count)
  size_t length = 0;  // units
};

// Reads the 16 strings of a block of `item_size` bytes. False when they do
// not all lie within it (a loader would fail on such a block too).
bool read_string_block(UnitView units, uint32_t item_size,
                       StringSlot (&strings)[kStringsPerBlock],
                       size_t* end_unit);

// The id of string `index` of the block whose resource name is `block_id`.
inline uint32_t string_id(uint32_t block_id, uint32_t index) {
  return (block_id - 1) * kStringsPerBlock + index;
}

}  // namespace uitrans
