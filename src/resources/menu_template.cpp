// SPDX-License-Identifier: MIT
// Reading menu templates as a loader does: classic (MENUITEMTEMPLATEHEADER
// and MENUITEMTEMPLATE) and extended (MENUEX_TEMPLATE_HEADER and
// MENUEX_TEMPLATE_ITEM), pop-ups nested in the item sequence.
#include "resources/templates.h"

namespace uitrans {

namespace {

constexpr uint16_t kPopup = 0x10;          // MF_POPUP
constexpr uint16_t kEndOfLevel = 0x80;     // MF_END: the level's last item
constexpr uint16_t kExtendedPopup = 0x01;  // bResInfo: a pop-up follows
// Header: version, then the offset of the first item from the unit after it.
constexpr size_t kHeaderOffsetUnit = 1;
constexpr size_t kHeaderUnits = 2;
// Extended items: dwType, dwState, menuId, bResInfo (in units).
constexpr size_t kExtendedIdUnit = 4;
constexpr size_t kExtendedResInfoUnit = 6;
constexpr size_t kExtendedFixedUnits = 7;
constexpr size_t kExtendedHelpIdUnits = 2;

bool unit_at(const MenuReader& reader, size_t index, uint16_t* unit) {
  if (index >= reader.item_units) return false;
  *unit = reader.units.at(index);
  return true;
}

// The zero-terminated text at the reader's position.
bool take_text(MenuReader* reader, MenuItemText* item) {
  size_t end = reader->position;
  uint16_t unit = 0;
  while (unit_at(*reader, end, &unit) && unit != 0) ++end;
  if (end >= reader->item_units) return false;
  item->start = reader->position;
  item->length = end - reader->position;
  reader->position = end + 1;
  return true;
}

bool read_classic_item(MenuReader* reader, MenuItemText* item, bool* ends) {
  uint16_t flags = 0;
  if (!unit_at(*reader, reader->position++, &flags)) return false;
  item->popup = (flags & kPopup) != 0;
  *ends = (flags & kEndOfLevel) != 0;
  if (!item->popup) {
    uint16_t id = 0;
    if (!unit_at(*reader, reader->position++, &id)) return false;
    item->id = id;
  }
  return take_text(reader, item);
}

// Extended items and the fields after their texts lie on 4-byte boundaries.
bool read_extended_item(MenuReader* reader, MenuItemText* item, bool* ends) {
  size_t start = reader->position;
  uint16_t id_low = 0;
  uint16_t id_high = 0;
  uint16_t res_info = 0;
  if (!unit_at(*reader, start + kExtendedIdUnit, &id_low) ||
      !unit_at(*reader, start + kExtendedIdUnit + 1, &id_high) ||
      !unit_at(*reader, start + kExtendedResInfoUnit, &res_info)) {
    return false;
  }
  item->id = id_low | (uint32_t{id_high} << 16);
  item->popup = (res_info & kExtendedPopup) != 0;
  *ends = (res_info & kEndOfLevel) != 0;
  reader->position = start + kExtendedFixedUnits;
  if (!take_text(reader, item)) return false;
  reader->position += reader->position & 1;
  if (item->popup) reader->position += kExtendedHelpIdUnits;
  return true;
}

// After an item: a pop-up opens a level; the last item of a level closes it
// and every enclosing level whose pop-up was the last of its own.
void close_levels(MenuReader* reader, bool popup, bool ends) {
  if (popup) {
    reader->level_ends.push_back(ends);
    return;
  }
  while (ends) {
    if (reader->level_ends.empty()) {
      reader->done = true;
      return;
    }
    ends = reader->level_ends.back();
    reader->level_ends.pop_back();
  }
}

}  // namespace

bool is_extended_menu(UnitView units, size_t item_units) {
  return item_units > 0 && units.unit_count > 0 &&
         units.at(0) == kExtendedMenuVersion;
}

void start_menu(MenuReader* reader, UnitView units, size_t item_units) {
  *reader = MenuReader{};
  reader->units = units;
  reader->item_units =
      item_units < units.unit_count ? item_units : units.unit_count;
  reader->extended = is_extended_menu(units, reader->item_units);
  uint16_t offset = 0;
  if (!unit_at(*reader, kHeaderOffsetUnit, &offset)) {
    reader->done = true;
    return;
  }
  reader->position = kHeaderUnits + offset / 2;
}

bool next_menu_item(MenuReader* reader, MenuItemText* item) {
  if (reader->done) return false;
  *item = MenuItemText{};
  bool ends = false;
  bool read = reader->extended ? read_extended_item(reader, item, &ends)
                               : read_classic_item(reader, item, &ends);
  if (!read) {
    reader->done = true;
    return false;
  }
  item->number = reader->next_number++;
  item->level = static_cast<uint32_t>(reader->level_ends.size());
  close_levels(reader, item->popup, ends);
  return true;
}

}  // namespace uitrans
