// SPDX-License-Identifier: MIT
// Whether a dialog's translated texts still fit their controls, and how far
// a control can be widened for its text without covering another.
//
// A finding names texts that fitted before the translation and do not
// after: a source that was already too wide is the original's business.
#pragma once

#include <string>
#include <vector>

#include "resources/text_record.h"
#include "resources/text_width.h"

namespace uitrans {

// The predefined control classes, by the ordinals templates name them with.
inline constexpr uint16_t kButtonClass = 0x80;
inline constexpr uint16_t kEditClass = 0x81;
inline constexpr uint16_t kStaticClass = 0x82;
inline constexpr uint16_t kListBoxClass = 0x83;
inline constexpr uint16_t kScrollBarClass = 0x84;
inline constexpr uint16_t kComboBoxClass = 0x85;
inline constexpr uint32_t kStaticTypeMask = 0x1F;  // SS_TYPEMASK

enum class ControlKind {
  push_button,
  check_box,  // the box and its gap take part of the width
  radio_button,
  group_box,  // the title runs along the top line
  static_text,
  other,  // not checked
};

// What a control is drawn as, by its class and style.
ControlKind control_kind(const DialogControl& control);

// Whether a static text draws every `&` (SS_NOPREFIX) instead of taking a
// single one as the mark of a mnemonic.
bool draws_ampersands(const DialogControl& control);

// The height in pixels of a closed drop-down combo box: the font's height
// and its frame, whatever the template's cy (its list dropped down).
int closed_combo_px(const DialogMetrics& metrics);

// Space a control's own drawing takes from its width, in dialog units.
inline constexpr int kPushButtonMargin = 4;  // borders and focus rectangle
inline constexpr int kCheckBoxMargin = 12;   // the box and the gap after it
inline constexpr int kGroupBoxMargin = 10;   // the frame's ends on either side

enum class Alignment { left, centre, right };

// How a control keeps its place when it widens: its text's alignment.
Alignment control_alignment(const DialogControl& control);

// How one text measures against one width.
struct FitMeasure {
  bool checked = false;  // a kind of control whose width is checked
  bool fits = true;
  int needed_du = 0;  // the least width that holds the text
  int has_du = 0;
  bool wraps = false;  // a multi-line static text: compared by lines
  int lines = 0;       // wrapped: the lines the text takes at has_du
  int lines_held = 0;  // wrapped: the lines the height holds
};

FitMeasure measure_fit(const DialogMetrics& metrics,
                       const DialogControl& control, std::u16string_view text,
                       int width_du);

struct FitFinding {
  std::string check;  // "fit" or "overlap"
  std::string place_name;
  size_t control = 0;     // index into the layout's controls
  int needed_du = 0;      // the width the text needs
  int has_du = 0;         // the width the control has
  std::string message;    // both widths, in dialog units
  bool estimate = false;  // measured with a stand-in face
};

// The layout the records of one dialog describe: its title record gives
// the frame and font, each control title record a control. Controls with
// ordinal titles (icons, bitmaps) leave no record and are not known.
DialogLayout layout_of_records(const std::vector<TextRecord>& dialog_records);

// `fit` for each control whose written title needs more width than it has
// (where its source title fitted); `overlap` for each such control that,
// widened for its text, would cover another control or pass the dialog's
// edge.
std::vector<FitFinding> fit_findings(const DialogLayout& layout);
std::vector<FitFinding> fit_findings(
    const std::vector<TextRecord>& dialog_records);

struct Widening {
  size_t control = 0;  // index into the layout's controls
  DialogGeometry from;
  DialogGeometry to;  // only x and cx differ
};

// Widens, in order, each control `fit` finds too narrow, as far as the
// free space beside it allows, and returns what changed.
std::vector<Widening> widen_controls(DialogLayout* layout);

}  // namespace uitrans
