// SPDX-License-Identifier: MIT
// How wide a dialog's texts are drawn: the dialog base units Windows
// derives from the dialog's font, and the width a text needs, in pixels at
// 96 DPI and in dialog units. Widths come from the generated font tables,
// as the rasteriser draws them where the table lists the em height, else
// scaled; a typeface without a table of its own is measured as Tahoma,
// flagged as an estimate.
#pragma once

#include <cstdint>
#include <string_view>

#include "resources/font_tables.h"
#include "resources/text_record.h"

namespace uitrans {

struct DialogMetrics {
  const FontTable* table = nullptr;
  const uint8_t* drawn = nullptr;  // the table's drawn widths at em_px, if any
  int em_px = 0;     // the requested em height (the point size at 96 DPI)
  int base_x = 8;    // average width of "a-zA-Z", pixels: 4 dialog units
  int base_y = 16;   // the font's height (tmHeight), pixels: 8 dialog units
  int line_px = 16;  // height of one line of text, pixels
  int bold_extra_px = 0;  // added per character by simulated bold
  bool estimate = false;  // the typeface has no table: measured as Tahoma
};

// The metrics of a dialog's font; the system font when it names none.
DialogMetrics dialog_metrics(const DialogFont& font);

// The advance of one code point in pixels.
int char_width_px(const DialogMetrics& metrics, char32_t code);

// The width of one line as a control draws it: a single `&` marks the next
// character as a mnemonic and is not drawn (`&&` draws one) unless
// `no_prefix`; a tab advances to the next multiple of eight average widths.
int line_width_px(const DialogMetrics& metrics, std::u16string_view line,
                  bool no_prefix = false);

// The widest line of a text (lines end at "\n", "\r\n" or "\r").
int text_width_px(const DialogMetrics& metrics, std::u16string_view text,
                  bool no_prefix = false);

// The least width in dialog units whose pixel width (as Windows maps it,
// rounded) holds `px` pixels.
int du_for_px_x(const DialogMetrics& metrics, int px);

// Dialog units to pixels, rounded as Windows' MapDialogRect does.
int px_of_du_x(const DialogMetrics& metrics, int du);
int px_of_du_y(const DialogMetrics& metrics, int du);

// The number of lines a text wraps into at `width_px`, breaking at spaces
// as word-wrapping controls do (a word wider than the line takes a line of
// its own, clipped).
int wrapped_lines(const DialogMetrics& metrics, std::u16string_view text,
                  int width_px, bool no_prefix = false);

}  // namespace uitrans
