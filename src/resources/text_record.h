// SPDX-License-Identifier: MIT
// Texts found or replaced in an image, as extraction lists them and the
// report names them. Every record knows its place: the resource (type, name,
// language) and a place name within it that stays the same from one run to
// the next, and, for dialog texts, what a check of the translation needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replace/placeholders.h"
#include "replace/replacement_table.h"
#include "resources/resource_tree.h"
#include "resources/templates.h"

namespace uitrans {

// The font a dialog names (DS_SETFONT), or the system font.
struct DialogFont {
  bool system_font = true;
  uint16_t point_size = 0;
  uint16_t weight = 0;  // extended templates only
  bool italic = false;  // extended templates only
  std::u16string typeface;
};

// One looked-up text: where it lies and what became of it.
struct TextRecord {
  uint32_t path[kPathLevels] = {};  // raw Names: type, name, language
  TextPlace place = TextPlace::menu_item;
  // "item 40001", "item #3", "title", "typeface", "control 1001",
  // "control #3", "creation data of control 1001", "string 17".
  std::string place_name;
  uint32_t menu_level = 0;  // menu items: 0 for the bar, 1 for its pop-ups...
  // Dialog texts: the control's class (a text, or an ordinal such as 0x80
  // for a button), its style and rectangle (the dialog's own for the title
  // and the typeface), and the dialog's font.
  std::u16string class_name;
  uint16_t class_ordinal = 0;
  DialogGeometry geometry;
  DialogFont font;
  std::u16string before;
  std::u16string after;  // the whole new text, when replaced
  bool replaced = false;
  // A translation kept out because its placeholders are not the source's:
  // `after` holds it, `entry` names it, and the text stays as it was.
  bool refused = false;
  uint32_t entry = 0;      // the table entry that matched, when replaced
  bool malformed = false;  // an item kept as it is: it does not read
};

// One control of a dialog, whatever its title: what drawing it and
// checking its width need.
struct DialogControl {
  std::string place_name;  // as its records name it
  std::u16string class_name;
  uint16_t class_ordinal = 0;
  DialogGeometry geometry;  // as written (widened with --fit)
  DialogGeometry source;    // as read
  bool has_text = false;    // a text title, not an ordinal
  std::u16string before;    // the title, when a text
  std::u16string after;     // the title written
  bool replaced = false;
  size_t output_unit = 0;  // where its fixed part lies in the new item
};

// A dialog's own frame and font and all its controls.
struct DialogLayout {
  uint32_t path[kPathLevels] = {};
  DialogGeometry geometry;
  DialogFont font;
  std::u16string title_before;
  std::u16string title_after;
  bool changed = false;  // a text of it was replaced
  std::vector<DialogControl> controls;
};

// Filled by the rewriters when a report is wanted.
struct RewriteLog {
  std::vector<TextRecord> records;
  std::vector<bool> entry_used;       // per table entry: it matched somewhere
  std::vector<DialogLayout> dialogs;  // every dialog that reads whole
};

// A record of the text `before` at a place of the resource at `path`.
TextRecord make_record(const uint32_t* path, TextPlace place,
                       std::string place_name, std::u16string before);

// Marks a record replaced by table entry `entry`: its replacement follows
// what `after` holds already (the kept head of a menu text), and the log
// notes the entry as used.
void mark_replaced(TextRecord* record, const ReplacementTable& table,
                   uint32_t entry, RewriteLog* log);

// Marks a record's translation by table entry `entry` refused.
void mark_refused(TextRecord* record, const ReplacementTable& table,
                  uint32_t entry, RewriteLog* log);

// True when the translation of table entry `entry` may replace `source`:
// its placeholders in `syntax` are the source's, or some are only left out.
bool placeholders_allow(const ReplacementTable& table, uint32_t entry,
                        PlaceholderSyntax syntax, const std::u16string& source);

// "item 40001" when the id names one place alone (`unique`), else "item #N"
// by the item's 1-based number; "control ..." alike.
std::string numbered_place(const char* what, uint32_t id, bool unique,
                           uint32_t number);

// The first entry whose find text equals `text` as a whole, or kNoEntry.
uint32_t find_text(const ReplacementTable& table, const std::u16string& text);

// The units [start, start + length) of a view as a string.
std::u16string units_text(UnitView units, size_t start, size_t length);

}  // namespace uitrans
