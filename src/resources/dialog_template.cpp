// SPDX-License-Identifier: MIT
// Reading dialog templates, classic (DLGTEMPLATE / DLGITEMTEMPLATE) and
// extended (DLGTEMPLATEEX / DLGITEMTEMPLATEEX), field by field.
#include "resources/templates.h"

namespace uitrans {

namespace {

constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr uint16_t kExtendedSignature = 0xFFFF;  // signature, unit 1
constexpr uint8_t kStyleSetFont = 0x40;          // DS_SETFONT
constexpr uint16_t kMessageBoxFont = 0x7FFF;     // point size: no more fields

// Where the fields of the two layouts lie, in units.
struct DialogLayout {
  size_t header_units;   // fixed part of the template header
  size_t style_unit;     // low word of the style
  size_t ex_style_unit;  // low word of the extended style
  size_t rect_unit;      // x, then y, cx and cy
  size_t count_unit;     // number of controls
  size_t font_units;     // point size (and weight, italic, charset)
  size_t control_units;  // fixed part of each control
  size_t control_style_unit;
  size_t control_ex_style_unit;
  size_t control_rect_unit;
  size_t id_unit;  // the control's id
  bool wide_id;    // 32-bit id (extended) or 16-bit
};

constexpr DialogLayout kClassic{9, 0, 2, 5, 4, 1, 9, 0, 2, 4, 8, false};
constexpr DialogLayout kExtended{13, 6, 4, 9, 8, 3, 12, 4, 2, 6, 10, true};

// Fields of a fixed part the caller has found to lie inside the view.
uint32_t dword_at(UnitView units, size_t unit) {
  return units.at(unit) | (uint32_t{units.at(unit + 1)} << 16);
}

DialogGeometry geometry_at(UnitView units, size_t start, size_t style_unit,
                           size_t ex_style_unit, size_t rect_unit) {
  DialogGeometry geometry;
  geometry.style = dword_at(units, start + style_unit);
  geometry.ex_style = dword_at(units, start + ex_style_unit);
  geometry.x = static_cast<int16_t>(units.at(start + rect_unit));
  geometry.y = static_cast<int16_t>(units.at(start + rect_unit + 1));
  geometry.cx = static_cast<int16_t>(units.at(start + rect_unit + 2));
  geometry.cy = static_cast<int16_t>(units.at(start + rect_unit + 3));
  return geometry;
}

const DialogLayout& layout_of(const DialogReader& reader) {
  return reader.extended ? kExtended : kClassic;
}

enum Step : uint32_t {
  kHeader,
  kMenu,
  kWindowClass,
  kTitle,
  kPointSize,
  kTypeface,
  kControlAlign,
  kControlFixed,
  kControlClass,
  kControlTitle,
  kCreationData,
  kEnd,
};

bool refuse(DialogReader* reader, InvalidReason reason) {
  reader->reason = reason;
  return false;
}

bool read_unit(DialogReader* reader, uint16_t* unit) {
  if (reader->position >= reader->units.unit_count) {
    return refuse(reader, InvalidReason::template_truncated);
  }
  *unit = reader->units.at(reader->position);
  return true;
}

// `count` units from the current position, which must lie in the image.
bool take_units(DialogReader* reader, size_t count, DialogField* field) {
  // Alignment may have stepped one unit past the end of the image.
  if (reader->position > reader->units.unit_count ||
      count > reader->units.unit_count - reader->position) {
    return refuse(reader, InvalidReason::template_truncated);
  }
  field->start = reader->position;
  field->units = count;
  reader->position += count;
  return true;
}

// A zero-terminated text, terminator included.
bool take_text(DialogReader* reader, DialogField* field) {
  size_t end = reader->position;
  while (end < reader->units.unit_count && reader->units.at(end) != 0) ++end;
  if (end >= reader->units.unit_count) {
    return refuse(reader, InvalidReason::text_unterminated);
  }
  return take_units(reader, end - reader->position + 1, field);
}

// A field holding either 0xFFFF and an ordinal, or a text.
bool take_ordinal_or_text(DialogReader* reader, DialogField* field) {
  uint16_t first = 0;
  if (!read_unit(reader, &first)) return false;
  field->ordinal = first == kOrdinalMark;
  return field->ordinal ? take_units(reader, 2, field)
                        : take_text(reader, field);
}

// The count unit of creation data and the data after it. Classic counts include
// the count unit itself; counts are in bytes, an odd one takes in a whole last
// unit.
bool take_creation_data(DialogReader* reader, DialogField* field) {
  uint16_t count = 0;
  if (!read_unit(reader, &count)) return false;
  bool has_data = reader->extended ? count != 0 : count > 2;
  size_t data_units = 0;
  if (has_data) {
    data_units = (size_t{count} + 1) / 2 - (reader->extended ? 0 : 1);
  }
  field->creation_count = count;
  field->data_units = data_units;
  if (data_units > reader->units.unit_count - reader->position - 1) {
    return refuse(reader, InvalidReason::template_truncated);
  }
  return take_units(reader, 1 + data_units, field);
}

bool take_font(DialogReader* reader, DialogField* field) {
  uint16_t point_size = 0;
  if (!read_unit(reader, &point_size)) return false;
  // The message-box font: loaders read no further font fields.
  if (point_size == kMessageBoxFont) {
    reader->step = kControlAlign;
    return take_units(reader, 1, field);
  }
  reader->step = kTypeface;
  size_t start = reader->position;
  if (!take_units(reader, layout_of(*reader).font_units, field)) return false;
  reader->font.point_size = point_size;
  if (reader->extended) {
    reader->font.weight = reader->units.at(start + 1);
    reader->font.italic = static_cast<uint8_t>(reader->units.at(start + 2));
  }
  return true;
}

// Starts a control, or ends the template after the last one (or at the
// item's end).
bool start_control(DialogReader* reader, DialogField* field) {
  if (reader->control == reader->control_count ||
      reader->position >= reader->item_units) {
    reader->step = kEnd;
    return false;
  }
  reader->control += 1;
  reader->position += reader->position & 1;
  field->part = DialogPart::align;
  field->start = reader->position;
  reader->step = kControlFixed;
  return true;
}

bool take_control_fixed(DialogReader* reader, DialogField* field) {
  const DialogLayout& layout = layout_of(*reader);
  size_t start = reader->position;
  if (!take_units(reader, layout.control_units, field)) return false;
  if (reader->with_geometry) {
    reader->control_geometry =
        geometry_at(reader->units, start, layout.control_style_unit,
                    layout.control_ex_style_unit, layout.control_rect_unit);
  }
  reader->control_id = reader->units.at(start + layout.id_unit);
  if (layout.wide_id) {
    reader->control_id |= uint32_t{reader->units.at(start + layout.id_unit + 1)}
                          << 16;
  }
  return true;
}

bool take_control_class(DialogReader* reader, DialogField* field) {
  if (!take_ordinal_or_text(reader, field)) return false;
  reader->class_ordinal =
      field->ordinal ? reader->units.at(field->start + 1) : 0;
  reader->class_start = field->start;
  reader->class_length = field->ordinal ? 0 : field->units - 1;
  return true;
}

// Reads the field of the current step and moves to the next step.
bool take_field(DialogReader* reader, DialogField* field) {
  switch (reader->step) {
    case kHeader:
      reader->step = kMenu;
      return take_units(reader, layout_of(*reader).header_units, field);
    case kMenu:
      field->part = DialogPart::menu;
      reader->step = kWindowClass;
      return take_ordinal_or_text(reader, field);
    case kWindowClass:
      field->part = DialogPart::window_class;
      reader->step = kTitle;
      return take_ordinal_or_text(reader, field);
    case kTitle:
      field->part = DialogPart::title;
      reader->step = reader->has_font ? kPointSize : kControlAlign;
      return take_text(reader, field);
    case kPointSize:
      return take_font(reader, field);
    case kTypeface:
      field->part = DialogPart::typeface;
      reader->step = kControlAlign;
      return take_text(reader, field);
    case kControlAlign:
      return start_control(reader, field);
    case kControlFixed:
      reader->step = kControlClass;
      return take_control_fixed(reader, field);
    case kControlClass:
      field->part = DialogPart::control_class;
      reader->step = kControlTitle;
      return take_control_class(reader, field);
    case kControlTitle:
      field->part = DialogPart::control_title;
      reader->step = kCreationData;
      return take_ordinal_or_text(reader, field);
    case kCreationData:
      field->part = DialogPart::creation_data;
      reader->step = kControlAlign;
      return take_creation_data(reader, field);
    default:
      return false;
  }
}

}  // namespace

bool start_dialog(DialogReader* reader, UnitView units, uint32_t item_size) {
  *reader = DialogReader{};
  reader->units = units;
  reader->item_units = (size_t{item_size} + 1) / 2;
  if (units.unit_count < 2) {
    return refuse(reader, InvalidReason::template_too_short);
  }
  reader->extended = units.at(1) == kExtendedSignature;
  const DialogLayout& layout = layout_of(*reader);
  if (units.unit_count < layout.header_units) {
    return refuse(reader, InvalidReason::template_too_short);
  }
  reader->control_count = units.at(layout.count_unit);
  reader->dialog_geometry = geometry_at(units, 0, layout.style_unit,
                                        layout.ex_style_unit, layout.rect_unit);
  uint8_t style_low = static_cast<uint8_t>(units.at(layout.style_unit));
  reader->has_font = (style_low & kStyleSetFont) != 0;
  return true;
}

bool next_dialog_field(DialogReader* reader, DialogField* field) {
  *field = DialogField{};
  bool in_control = reader->step >= kControlFixed && reader->step != kEnd;
  if (!take_field(reader, field)) return false;
  if (field->part == DialogPart::align) field->control = reader->control;
  if (in_control) {
    field->control = reader->control;
    field->control_id = reader->control_id;
    field->class_ordinal = reader->class_ordinal;
    field->class_start = reader->class_start;
    field->class_length = reader->class_length;
  }
  return true;
}

size_t control_rect_unit(bool extended) {
  return extended ? kExtended.control_rect_unit : kClassic.control_rect_unit;
}

bool is_looked_up(const DialogField& field) {
  switch (field.part) {
    case DialogPart::title:
    case DialogPart::typeface:
      return true;
    case DialogPart::control_title:
      return !field.ordinal;
    default:
      return false;
  }
}

TextPlace place_of(const DialogField& field) {
  switch (field.part) {
    case DialogPart::title:
      return TextPlace::dialog_title;
    case DialogPart::typeface:
      return TextPlace::typeface;
    case DialogPart::creation_data:
      return TextPlace::creation_data;
    default:
      return TextPlace::control_title;
  }
}

}  // namespace uitrans
