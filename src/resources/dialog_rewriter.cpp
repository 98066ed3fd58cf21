// Dialog templates, classic (DLGTEMPLATE / DLGITEMTEMPLATE) and extended
// (DLGTEMPLATEEX / DLGITEMTEMPLATEEX). The rewriter follows the layout: fixed
// parts are copied, titles and the typeface are replaced when the whole text
// is a find text, creation data is scanned unit by unit, and counts and
// alignment are kept consistent with the new lengths.
//
// Source reads may run past the item's Size (only the checks between controls
// compare with it) but never past the image: a template that would needs more
// bytes than the image holds and is refused as invalid.
#include "resources/item_writer.h"

namespace uitrans {

namespace {

constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr uint16_t kExtendedSignature = 0xFFFF;
constexpr uint8_t kStyleSetFont = 0x40;  // DS_SETFONT
constexpr uint16_t kMessageBoxFont = 0x7FFF;

struct DialogLayout {
  bool extended = false;
  size_t header_units = 0;   // fixed part of the template header
  size_t control_units = 0;  // fixed part of each control
  size_t font_units = 0;     // point size (and weight, italic, charset)
};

constexpr DialogLayout kClassic{false, 9, 9, 1};
constexpr DialogLayout kExtended{true, 13, 12, 3};

// The source side of one dialog: units from the item's start to the image's
// end, and the current position.
struct DialogRewrite {
  UnitView units;
  size_t source = 0;
  ItemWriter writer;
  const ReplacementTable* table = nullptr;
  int32_t* replaced_count = nullptr;
  RebuildStatus status = RebuildStatus::ok;
};

bool fail(DialogRewrite* rw, RebuildStatus status) {
  rw->status = status;
  return false;
}

bool read_unit(DialogRewrite* rw, uint16_t* unit) {
  if (rw->source >= rw->units.unit_count) {
    return fail(rw, RebuildStatus::invalid_image);
  }
  *unit = rw->units.at(rw->source);
  return true;
}

bool copy_units(DialogRewrite* rw, size_t count) {
  if (count > rw->units.unit_count - rw->source) {
    return fail(rw, RebuildStatus::invalid_image);
  }
  if (!put_units(&rw->writer, rw->units, rw->source, count)) {
    return fail(rw, RebuildStatus::out_of_memory);
  }
  rw->source += count;
  return true;
}

// A zero-terminated text, terminator included.
bool copy_text(DialogRewrite* rw) {
  size_t end = rw->source;
  while (end < rw->units.unit_count && rw->units.at(end) != 0) ++end;
  if (end >= rw->units.unit_count) {
    return fail(rw, RebuildStatus::invalid_image);
  }
  return copy_units(rw, end - rw->source + 1);
}

bool apply_hit(DialogRewrite* rw, uint32_t hit) {
  const ReplacementEntry& entry = rw->table->entries[hit];
  if (!put_replacement(&rw->writer, entry, rw->replaced_count)) {
    return fail(rw, RebuildStatus::out_of_memory);
  }
  rw->source += size_t{entry.find_length} + 1;
  return true;
}

// A text replaced when the whole text equals a find text.
bool rewrite_text(DialogRewrite* rw) {
  uint32_t hit = find_replacement(*rw->table, rw->units, rw->source);
  if (hit != kNoEntry) return apply_hit(rw, hit);
  return copy_text(rw);
}

// A field holding either 0xFFFF and an ordinal, or a text.
bool copy_ordinal_or_text(DialogRewrite* rw, bool look_up_text) {
  uint16_t first = 0;
  if (!read_unit(rw, &first)) return false;
  if (first == kOrdinalMark) return copy_units(rw, 2);
  return look_up_text ? rewrite_text(rw) : copy_text(rw);
}

bool align_both(DialogRewrite* rw) {
  rw->source += rw->source & 1;
  if ((rw->writer.position & 1) != 0 && !skip_unit(&rw->writer)) {
    return fail(rw, RebuildStatus::out_of_memory);
  }
  return true;
}

// The creation data of a control: its count unit W, then the data, scanned
// at every unit for find texts that lie wholly inside it. The count is
// recomputed for the new length (16-bit arithmetic, as the field is).
bool rewrite_creation_data(DialogRewrite* rw, const DialogLayout& layout) {
  uint16_t count = 0;
  if (!read_unit(rw, &count)) return false;
  size_t count_position = rw->writer.position;
  if (!skip_unit(&rw->writer)) return fail(rw, RebuildStatus::out_of_memory);
  rw->source += 1;

  bool has_data = layout.extended ? count != 0 : count > 2;
  uint16_t new_count = count;
  if (has_data) {
    // Classic counts include the count unit itself, already behind us.
    size_t remaining = (size_t{count} + 1) / 2 - (layout.extended ? 0 : 1);
    if (remaining > rw->units.unit_count - rw->source) {
      return fail(rw, RebuildStatus::invalid_image);
    }
    new_count = layout.extended ? 0 : 2;
    TextScanner scanner;
    start_scan(&scanner, rw->units, rw->source + remaining);
    while (remaining > 0) {
      uint32_t hit = scan_lookup(*rw->table, &scanner, rw->source, remaining);
      if (hit == kNoEntry) {
        if (!copy_units(rw, 1)) return false;
        remaining -= 1;
        new_count = static_cast<uint16_t>(new_count + 2);
        continue;
      }
      const ReplacementEntry& entry = rw->table->entries[hit];
      if (!apply_hit(rw, hit)) return false;
      remaining -= size_t{entry.find_length} + 1;
      new_count =
          static_cast<uint16_t>(new_count + 2 * entry.replacement_length + 2);
    }
    if ((count & 1) != 0) new_count = static_cast<uint16_t>(new_count - 1);
  }
  store_u16(
      rw->writer.output->data + rw->writer.output->used + 2 * count_position,
      new_count);
  return true;
}

bool rewrite_header(DialogRewrite* rw, const DialogLayout& layout,
                    bool has_font) {
  if (!copy_units(rw, layout.header_units)) return false;
  if (!copy_ordinal_or_text(rw, false)) return false;  // menu
  if (!copy_ordinal_or_text(rw, false)) return false;  // window class
  if (!rewrite_text(rw)) return false;                 // title
  if (!has_font) return true;
  uint16_t point_size = 0;
  if (!read_unit(rw, &point_size)) return false;
  // The message-box font: loaders read no further font fields.
  if (point_size == kMessageBoxFont) return copy_units(rw, 1);
  if (!copy_units(rw, layout.font_units)) return false;
  return rewrite_text(rw);  // typeface
}

bool rewrite_control(DialogRewrite* rw, const DialogLayout& layout) {
  if (!align_both(rw)) return false;
  if (!copy_units(rw, layout.control_units)) return false;
  if (!copy_ordinal_or_text(rw, false)) return false;  // class
  if (!copy_ordinal_or_text(rw, true)) return false;   // title
  return rewrite_creation_data(rw, layout);
}

}  // namespace

RebuildStatus rewrite_dialog(const ItemContext& item, uint32_t* new_size) {
  DialogRewrite rw;
  rw.units = units_from(item.image, item.item_offset);
  rw.writer = ItemWriter{item.output, 0};
  rw.table = item.table;
  rw.replaced_count = item.replaced_count;
  size_t unit_count = (size_t{item.size} + 1) / 2;

  if (rw.units.unit_count < 2) return RebuildStatus::invalid_image;
  bool extended = rw.units.at(1) == kExtendedSignature;
  const DialogLayout& layout = extended ? kExtended : kClassic;
  if (rw.units.unit_count < layout.header_units) {
    return RebuildStatus::invalid_image;
  }
  uint16_t control_count = rw.units.at(extended ? 8 : 4);
  uint8_t style_low = static_cast<uint8_t>(rw.units.at(extended ? 6 : 0));
  bool has_font = (style_low & kStyleSetFont) != 0;

  bool ok = rewrite_header(&rw, layout, has_font);
  for (uint32_t m = 0; ok && rw.source < unit_count && m < control_count; ++m) {
    ok = rewrite_control(&rw, layout);
  }
  if (!ok) return rw.status;
  uint64_t bytes = 2 * uint64_t{rw.writer.position};
  if (bytes > UINT32_MAX) return RebuildStatus::out_of_memory;
  *new_size = static_cast<uint32_t>(bytes);
  return RebuildStatus::ok;
}

}  // namespace uitrans
