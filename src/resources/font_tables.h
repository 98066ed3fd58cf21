// SPDX-License-Identifier: MIT
// Advance widths and heights of the typefaces dialogs name, generated into
// font_tables.cpp by scripts/make_font_tables.py.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uitrans {

// Widths of the code points [first, first + count), in font units; 0 where
// the font has no glyph. `drawn_at` is where the range starts in each of
// the table's drawn widths.
struct WidthRange {
  char16_t first;
  uint16_t count;
  const uint16_t* widths;
  uint16_t drawn_at;
};

// The advances in whole pixels the rasteriser draws at one em height (its
// hinted outlines), for the code points of every range in order; 0 where
// the font has no glyph.
struct DrawnWidths {
  uint8_t em_px;
  const uint8_t* widths;
};

struct FontTable {
  const char* name;
  uint16_t units_per_em;
  // The font units a requested em height (the point size) measures: the
  // em, or for a raster face's vector copy its height without leading.
  uint16_t em_units;
  uint16_t win_ascent;     // usWinAscent: tmAscent, scaled
  uint16_t win_descent;    // usWinDescent: tmDescent, scaled
  uint16_t default_width;  // the missing glyph's, for code points not listed
  bool bold;
  const WidthRange* ranges;
  size_t range_count;
  const DrawnWidths* drawn;  // by em height; none for a bitmap-only font
  size_t drawn_count;
};

extern const FontTable* const kFontTables[];
extern const size_t kFontTableCount;

}  // namespace uitrans
