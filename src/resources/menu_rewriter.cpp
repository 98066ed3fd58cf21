// SPDX-License-Identifier: MIT
// Menu items: the rewriter does not follow the template. It slides over the
// item one unit at a time and replaces every zero-terminated text (or tail
// of a text) that equals a find text, so it serves both menu layouts and
// menus a loader would not accept. Every item text the menu reader finds is
// one of the texts it looks up.
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "resources/item_writer.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

namespace {

// Extended menu templates align every item on four bytes. After a hit that
// left output and source out of step by an odd number of units, either the
// source's alignment unit is dropped or one is added to the output.
bool realign_extended(UnitView units, size_t unit_count, size_t* source,
                      ItemWriter* writer) {
  if (((writer->position - *source) & 1) == 0) return true;
  if ((*source & 1) != 0 && *source < unit_count && units.at(*source) == 0) {
    *source += 1;
    return true;
  }
  return skip_unit(writer);
}

struct MenuHit {
  size_t position = 0;
  uint32_t entry = 0;
};

// A menu item's text with the name of its place: "item ID" when no other
// item of the menu has its non-zero command id, else "item #N".
struct MenuPlace {
  MenuItemText text;
  std::string name;
};

std::vector<MenuPlace> read_menu_places(UnitView units, size_t unit_count) {
  std::vector<MenuPlace> places;
  std::unordered_map<uint32_t, uint32_t> id_count;
  MenuReader reader;
  MenuItemText text;
  start_menu(&reader, units, unit_count);
  while (next_menu_item(&reader, &text)) {
    places.push_back(MenuPlace{text, std::string()});
    if (text.id != 0) id_count[text.id] += 1;
  }
  for (MenuPlace& place : places) {
    bool unique = place.text.id != 0 && id_count[place.text.id] == 1;
    place.name =
        numbered_place("item", place.text.id, unique, place.text.number);
  }
  return places;
}

TextRecord item_record(const ItemSource& item, UnitView units,
                       const MenuPlace& place) {
  TextRecord record =
      make_record(item.path, TextPlace::menu_item, place.name,
                  units_text(units, place.text.start, place.text.length));
  record.menu_level = place.text.level;
  return record;
}

// Records every item text the menu reader finds, with the hit that fell in
// it, and hits that fell outside every item text. A hit on the tail of a
// text names the whole text before and after.
void log_menu(const ItemContext& item, UnitView units, size_t unit_count,
              const std::vector<MenuHit>& hits) {
  const ReplacementTable& table = *item.table;
  std::vector<bool> hit_logged(hits.size(), false);
  size_t next_hit = 0;
  for (const MenuPlace& place : read_menu_places(units, unit_count)) {
    TextRecord record = item_record(item.item, units, place);
    const MenuItemText& text = place.text;
    while (next_hit < hits.size() && hits[next_hit].position < text.start) {
      ++next_hit;
    }
    size_t end = text.start + text.length;
    for (size_t h = next_hit; h < hits.size() && hits[h].position < end; ++h) {
      record.after =
          units_text(units, text.start, hits[h].position - text.start);
      mark_replaced(&record, table, hits[h].entry, item.log);
      hit_logged[h] = true;
    }
    item.log->records.push_back(std::move(record));
  }
  for (size_t h = 0; h < hits.size(); ++h) {
    if (hit_logged[h]) continue;
    const ReplacementEntry& entry = table.entries[hits[h].entry];
    TextRecord record =
        make_record(item.item.path, TextPlace::menu_item,
                    "unit " + std::to_string(hits[h].position),
                    units_text(units, hits[h].position, entry.find_length));
    mark_replaced(&record, table, hits[h].entry, item.log);
    item.log->records.push_back(std::move(record));
  }
}

// Hits resolved by the item whose text they fall in: the places in
// template order and a cursor, as hits come in order.
struct MenuHitPlaces {
  const ItemContext* item = nullptr;
  std::vector<MenuPlace> places;
  mutable size_t next = 0;
};

uint32_t resolve_in_menu(const void* state, size_t position, uint32_t entry) {
  const auto* menu = static_cast<const MenuHitPlaces*>(state);
  const std::vector<MenuPlace>& places = menu->places;
  size_t& next = menu->next;
  while (next > 0 && places[next - 1].text.start > position) --next;
  while (next < places.size() &&
         places[next].text.start + places[next].text.length <= position) {
    ++next;
  }
  bool inside = next < places.size() && places[next].text.start <= position;
  return resolve_at_place(
      *menu->item, entry,
      inside ? places[next].name : "unit " + std::to_string(position));
}

}  // namespace

Outcome rewrite_menu(const ItemContext& item, uint32_t* new_size) {
  UnitView units = units_from(item.item.image, item.item.offset);
  size_t unit_count = (size_t{item.item.size} + 1) / 2;
  bool extended = is_extended_menu(units, unit_count);
  TextScanner scanner;
  start_scan(&scanner, units, unit_count);
  ItemWriter writer{item.output, 0};
  const ReplacementTable& table = *item.table;

  std::vector<MenuHit> hits;  // kept only for a log
  MenuHitPlaces hit_places;
  HitFilter by_place{resolve_in_menu, &hit_places};
  const HitFilter* filter = nullptr;
  if (item.place != nullptr) {
    hit_places.item = &item;
    hit_places.places = read_menu_places(units, unit_count);
    filter = &by_place;
  }

  // Units without a hit are copied in runs, one copy per run.
  size_t source = 0;
  size_t copied = 0;
  size_t at = 0;
  uint32_t hit = kNoEntry;
  while (source < unit_count &&
         scan_next_hit(table, &scanner, source, SIZE_MAX, &at, &hit, filter)) {
    const ReplacementEntry& entry = table.entries[hit];
    if (item.log != nullptr) {
      hits.push_back(MenuHit{at, hit});
    }
    if (!put_units(&writer, units, copied, at - copied) ||
        !put_replacement(&writer, entry, item.replaced_count)) {
      return writer_failure(writer);
    }
    source = at + size_t{entry.find_length} + 1;
    if (extended && !realign_extended(units, unit_count, &source, &writer)) {
      return writer_failure(writer);
    }
    copied = source;
  }
  if (copied < unit_count &&
      !put_units(&writer, units, copied, unit_count - copied)) {
    return writer_failure(writer);
  }
  uint64_t bytes = 2 * uint64_t{writer.position};
  if (bytes > UINT32_MAX) return size_overflow();
  if (item.log != nullptr) log_menu(item, units, unit_count, hits);
  *new_size = static_cast<uint32_t>(bytes);
  return Outcome{};
}

Outcome extract_menu(const ItemSource& item, std::vector<TextRecord>* records) {
  UnitView units = units_from(item.image, item.offset);
  size_t unit_count = (size_t{item.size} + 1) / 2;
  for (const MenuPlace& place : read_menu_places(units, unit_count)) {
    records->push_back(item_record(item, units, place));
  }
  return Outcome{};
}

}  // namespace uitrans
