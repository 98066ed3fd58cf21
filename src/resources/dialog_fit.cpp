// SPDX-License-Identifier: MIT
#include "resources/dialog_fit.h"

#include <algorithm>

namespace uitrans {

namespace {

constexpr uint32_t kComboTypeMask =
    0x03;  // CBS_SIMPLE, _DROPDOWN, _DROPDOWNLIST
constexpr uint32_t kComboSimple = 0x01;
constexpr int kComboFramePx = 8;            // a closed combo box's frame
constexpr uint32_t kButtonTypeMask = 0x0F;  // BS_PUSHBUTTON ... BS_TYPEMASK
constexpr uint32_t kButtonRight = 0x200;    // BS_RIGHT
constexpr uint32_t kButtonCentre = 0x300;   // BS_CENTER (BS_LEFT | BS_RIGHT)
constexpr uint32_t kStaticCentre = 0x01;    // SS_CENTER
constexpr uint32_t kStaticRight = 0x02;     // SS_RIGHT
constexpr uint32_t kStaticSimple = 0x0B;    // SS_SIMPLE: one line
constexpr uint32_t kStaticNoWrap = 0x0C;    // SS_LEFTNOWORDWRAP: one line
constexpr uint32_t kStaticNoPrefix = 0x80;  // SS_NOPREFIX: `&` is drawn
// A group box's frame inside which its own controls keep clear of it.
constexpr int kContainerInset = 4;
constexpr int kMaxWidth = 0x7FFF;  // a template's cx is a 16-bit signed value

bool same_class_name(const std::u16string& name, const char16_t* known) {
  std::u16string_view expected(known);
  if (name.size() != expected.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    char16_t e = expected[i];
    if (e >= u'A' && e <= u'Z') e = static_cast<char16_t>(e - u'A' + u'a');
    if (c != e) return false;
  }
  return true;
}

bool is_button(const DialogControl& control) {
  return control.class_ordinal == kButtonClass ||
         (control.class_ordinal == 0 &&
          same_class_name(control.class_name, u"Button"));
}

bool is_drop_down(const DialogControl& control) {
  bool combo = control.class_ordinal == kComboBoxClass ||
               (control.class_ordinal == 0 &&
                (same_class_name(control.class_name, u"ComboBox") ||
                 same_class_name(control.class_name, u"ComboBoxEx32")));
  uint32_t type = control.geometry.style & kComboTypeMask;
  return combo && type != 0 && type != kComboSimple;
}

bool is_static(const DialogControl& control) {
  return control.class_ordinal == kStaticClass ||
         (control.class_ordinal == 0 &&
          same_class_name(control.class_name, u"Static"));
}

ControlKind button_kind(uint32_t style) {
  switch (style & kButtonTypeMask) {
    case 0x0:  // BS_PUSHBUTTON
    case 0x1:  // BS_DEFPUSHBUTTON
    case 0xA:  // BS_PUSHBOX
      return ControlKind::push_button;
    case 0x2:  // BS_CHECKBOX
    case 0x3:  // BS_AUTOCHECKBOX
    case 0x5:  // BS_3STATE
    case 0x6:  // BS_AUTO3STATE
      return ControlKind::check_box;
    case 0x4:  // BS_RADIOBUTTON
    case 0x9:  // BS_AUTORADIOBUTTON
      return ControlKind::radio_button;
    case 0x7:  // BS_GROUPBOX
      return ControlKind::group_box;
    default:  // owner-drawn, split buttons, command links: own layouts
      return ControlKind::other;
  }
}

bool is_text_static(uint32_t style) {
  uint32_t type = style & kStaticTypeMask;
  return type <= kStaticRight || type == kStaticSimple || type == kStaticNoWrap;
}

int margin_of(ControlKind kind) {
  switch (kind) {
    case ControlKind::push_button:
      return kPushButtonMargin;
    case ControlKind::check_box:
    case ControlKind::radio_button:
      return kCheckBoxMargin;
    case ControlKind::group_box:
      return kGroupBoxMargin;
    default:
      return 0;
  }
}

// Statics that wrap words and are more than one line high.
bool wraps_words(const DialogMetrics& metrics, const DialogControl& control) {
  uint32_t type = control.geometry.style & kStaticTypeMask;
  if (type == kStaticSimple || type == kStaticNoWrap) return false;
  return px_of_du_y(metrics, control.geometry.cy) >= 2 * metrics.line_px;
}

// The least width at which a wrapping text takes no more lines than held;
// its widest line unwrapped always does.
int least_wrap_width(const DialogMetrics& metrics, std::u16string_view text,
                     int from_du, int lines_held, bool no_prefix) {
  int widest = du_for_px_x(metrics, text_width_px(metrics, text, no_prefix));
  // Lines only fall as the width grows: the least width is searched.
  int low = std::max(from_du, 1);
  int high = std::max(widest, low);
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (wrapped_lines(metrics, text, px_of_du_x(metrics, middle), no_prefix) <=
        lines_held) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

struct Rect {
  int left, top, right, bottom;
};

Rect rect_of(const DialogGeometry& g) {
  return Rect{g.x, g.y, g.x + g.cx, g.y + g.cy};
}

// The rectangle a control takes in the dialog as drawn: a drop-down combo
// box only its closed height.
Rect drawn_rect(const DialogMetrics& metrics, const DialogControl& control) {
  Rect r = rect_of(control.geometry);
  if (is_drop_down(control)) {
    int closed_px = closed_combo_px(metrics);
    r.bottom = r.top + (closed_px * 8 + metrics.base_y - 1) / metrics.base_y;
  }
  return r;
}

bool rows_meet(const Rect& a, const Rect& b) {
  return a.top < b.bottom && b.top < a.bottom;
}

bool intersects(const Rect& a, const Rect& b) {
  return rows_meet(a, b) && a.left < b.right && b.left < a.right;
}

bool contains(const Rect& outer, const Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top &&
         inner.right <= outer.right && inner.bottom <= outer.bottom;
}

// How far a control may reach to the left and to the right without
// entering another control or leaving the dialog (or the group box it
// lies in).
struct Room {
  int left_limit;
  int right_limit;
};

Room room_of(const DialogMetrics& metrics, const DialogLayout& layout,
             size_t index) {
  Rect own = drawn_rect(metrics, layout.controls[index]);
  Room room{0, layout.geometry.cx};
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    if (i == index) continue;
    Rect other = drawn_rect(metrics, layout.controls[i]);
    if (!rows_meet(own, other) || contains(own, other)) continue;
    if (contains(other, own)) {
      room.left_limit = std::max(room.left_limit, other.left + kContainerInset);
      room.right_limit =
          std::min(room.right_limit, other.right - kContainerInset);
      continue;
    }
    // A neighbour reaching past an edge bounds growth there at its own
    // near edge; one the original already overlaps, at the control's edge
    // (the overlap is the original's layout, growing would cover more).
    if (other.right > own.right) {
      room.right_limit =
          std::min(room.right_limit, std::max(other.left, own.right));
    }
    if (other.left < own.left) {
      room.left_limit =
          std::max(room.left_limit, std::min(other.right, own.left));
    }
  }
  room.left_limit = std::min(room.left_limit, own.left);
  room.right_limit = std::max(room.right_limit, own.right);
  return room;
}

// The control's rectangle at `width` by its alignment, unbounded (in int:
// it may lie beyond what a template can hold).
Rect widened_to(const DialogControl& control, int width) {
  Rect r = rect_of(control.geometry);
  int extra = width - control.geometry.cx;
  switch (control_alignment(control)) {
    case Alignment::right:
      r.left -= extra;
      break;
    case Alignment::centre:
      r.left -= (extra + 1) / 2;
      r.right += extra / 2;
      break;
    case Alignment::left:
      r.right += extra;
      break;
  }
  return r;
}

// The widest rectangle toward `width` the room allows.
DialogGeometry widened_within(const DialogControl& control, int width,
                              const Room& room) {
  DialogGeometry g = control.geometry;
  int left = g.x;
  int right = g.x + g.cx;
  int extra = width - g.cx;
  switch (control_alignment(control)) {
    case Alignment::left:
      right = std::min(right + extra, room.right_limit);
      break;
    case Alignment::right:
      left = std::max(left - extra, room.left_limit);
      break;
    case Alignment::centre: {
      int side = std::min(
          {(extra + 1) / 2, left - room.left_limit, room.right_limit - right});
      left -= side;
      right += side;
      break;
    }
  }
  g.x = static_cast<int16_t>(left);
  g.cx = static_cast<int16_t>(right - left);
  return g;
}

// What the widened control would cover: another control's place, or
// "the dialog's edge"; empty when nothing.
std::string first_covered(const DialogMetrics& metrics,
                          const DialogLayout& layout, size_t index,
                          const Rect& wide) {
  Rect own = drawn_rect(metrics, layout.controls[index]);
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    if (i == index) continue;
    Rect other = drawn_rect(metrics, layout.controls[i]);
    if (contains(own, other) || contains(other, own) ||
        intersects(own, other)) {
      continue;
    }
    if (intersects(wide, other)) return layout.controls[i].place_name;
  }
  if (wide.left < 0 || wide.right > layout.geometry.cx) {
    return "the dialog's edge";
  }
  return {};
}

std::string fit_message(const FitMeasure& measure, bool estimate) {
  std::string text;
  if (measure.wraps) {
    text = "the text wraps into " + std::to_string(measure.lines) +
           " lines at " + std::to_string(measure.has_du) + " DU, " +
           std::to_string(measure.lines_held) + " fit its height; it needs " +
           std::to_string(measure.needed_du) + " DU";
  } else {
    text = "the text needs " + std::to_string(measure.needed_du) +
           " DU, the control is " + std::to_string(measure.has_du) + " DU wide";
  }
  if (estimate) text += " (estimated: the typeface is measured as Tahoma)";
  return text;
}

// The measure of a control's written title, when its source title fitted
// and the written one does not.
bool too_narrow(const DialogMetrics& metrics, const DialogControl& control,
                FitMeasure* measure) {
  if (!control.has_text || !control.replaced) return false;
  FitMeasure source =
      measure_fit(metrics, control, control.before, control.source.cx);
  if (!source.checked || !source.fits) return false;
  *measure = measure_fit(metrics, control, control.after, control.geometry.cx);
  return measure->checked && !measure->fits;
}

}  // namespace

ControlKind control_kind(const DialogControl& control) {
  if (is_button(control)) return button_kind(control.geometry.style);
  if (is_static(control) && is_text_static(control.geometry.style)) {
    return ControlKind::static_text;
  }
  return ControlKind::other;
}

bool draws_ampersands(const DialogControl& control) {
  return control_kind(control) == ControlKind::static_text &&
         (control.geometry.style & kStaticNoPrefix) != 0;
}

int closed_combo_px(const DialogMetrics& metrics) {
  return metrics.line_px + kComboFramePx;
}

Alignment control_alignment(const DialogControl& control) {
  uint32_t style = control.geometry.style;
  if (is_button(control)) {
    if ((style & kButtonCentre) == kButtonCentre) return Alignment::centre;
    if ((style & kButtonCentre) == kButtonRight) return Alignment::right;
    return Alignment::left;
  }
  if (is_static(control)) {
    uint32_t type = style & kStaticTypeMask;
    if (type == kStaticCentre) return Alignment::centre;
    if (type == kStaticRight) return Alignment::right;
  }
  return Alignment::left;
}

FitMeasure measure_fit(const DialogMetrics& metrics,
                       const DialogControl& control, std::u16string_view text,
                       int width_du) {
  FitMeasure measure;
  ControlKind kind = control_kind(control);
  if (kind == ControlKind::other) return measure;
  measure.checked = true;
  measure.has_du = width_du;
  bool no_prefix = draws_ampersands(control);
  if (kind == ControlKind::static_text && wraps_words(metrics, control)) {
    measure.wraps = true;
    int height_px = px_of_du_y(metrics, control.geometry.cy);
    measure.lines_held = std::max(1, height_px / metrics.line_px);
    measure.lines =
        wrapped_lines(metrics, text, px_of_du_x(metrics, width_du), no_prefix);
    measure.fits = measure.lines <= measure.lines_held;
    measure.needed_du =
        measure.fits ? width_du
                     : std::min(kMaxWidth, least_wrap_width(
                                               metrics, text, width_du,
                                               measure.lines_held, no_prefix));
    return measure;
  }
  int text_du = du_for_px_x(metrics, text_width_px(metrics, text, no_prefix));
  measure.needed_du = text_du + (text_du > 0 ? margin_of(kind) : 0);
  measure.needed_du = std::min(measure.needed_du, kMaxWidth);
  measure.fits = measure.needed_du <= width_du;
  return measure;
}

DialogLayout layout_of_records(const std::vector<TextRecord>& dialog_records) {
  DialogLayout layout;
  for (const TextRecord& record : dialog_records) {
    if (record.place == TextPlace::dialog_title) {
      std::copy(record.path, record.path + kPathLevels, layout.path);
      layout.geometry = record.geometry;
      layout.font = record.font;
      layout.title_before = record.before;
      layout.title_after = record.replaced ? record.after : record.before;
    }
    if (record.replaced) layout.changed = true;
    if (record.place != TextPlace::control_title) continue;
    DialogControl control;
    control.place_name = record.place_name;
    control.class_name = record.class_name;
    control.class_ordinal = record.class_ordinal;
    control.geometry = record.geometry;
    control.source = record.geometry;
    control.has_text = true;
    control.before = record.before;
    control.after = record.replaced ? record.after : record.before;
    control.replaced = record.replaced;
    layout.controls.push_back(std::move(control));
  }
  return layout;
}

std::vector<FitFinding> fit_findings(const DialogLayout& layout) {
  std::vector<FitFinding> findings;
  DialogMetrics metrics = dialog_metrics(layout.font);
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    const DialogControl& control = layout.controls[i];
    FitMeasure measure;
    if (!too_narrow(metrics, control, &measure)) continue;
    FitFinding fit;
    fit.check = "fit";
    fit.place_name = control.place_name;
    fit.control = i;
    fit.needed_du = measure.needed_du;
    fit.has_du = measure.has_du;
    fit.estimate = metrics.estimate;
    fit.message = fit_message(measure, metrics.estimate);
    findings.push_back(fit);
    std::string covered = first_covered(metrics, layout, i,
                                        widened_to(control, measure.needed_du));
    if (covered.empty()) continue;
    FitFinding overlap = fit;
    overlap.check = "overlap";
    overlap.message = "widened from " + std::to_string(measure.has_du) +
                      " DU to the " + std::to_string(measure.needed_du) +
                      " DU its text needs, it would cover " + covered;
    findings.push_back(std::move(overlap));
  }
  return findings;
}

std::vector<FitFinding> fit_findings(
    const std::vector<TextRecord>& dialog_records) {
  return fit_findings(layout_of_records(dialog_records));
}

std::vector<Widening> widen_controls(DialogLayout* layout) {
  std::vector<Widening> widenings;
  DialogMetrics metrics = dialog_metrics(layout->font);
  for (size_t i = 0; i < layout->controls.size(); ++i) {
    DialogControl& control = layout->controls[i];
    FitMeasure measure;
    if (!too_narrow(metrics, control, &measure)) continue;
    DialogGeometry to = widened_within(control, measure.needed_du,
                                       room_of(metrics, *layout, i));
    if (to.cx <= control.geometry.cx) continue;
    widenings.push_back(Widening{i, control.geometry, to});
    control.geometry = to;
  }
  return widenings;
}

}  // namespace uitrans
