// SPDX-License-Identifier: MIT
#include "resources/text_width.h"

#include <cstring>
#include <vector>

namespace uitrans {

namespace {

constexpr int kDpi = 96;
constexpr int kPointsPerInch = 72;
constexpr uint16_t kBoldWeight = 600;  // FW_SEMIBOLD and heavier
// The classic system font (no DS_SETFONT) is a bold raster face 16 pixels
// high whose base units are 8x16; Tahoma Bold at a 13-pixel em gives the
// same base units and height, so its widths stand in for it.
constexpr int kSystemFontEm = 13;

const FontTable* table_named(const char* name) {
  for (size_t i = 0; i < kFontTableCount; ++i) {
    if (std::strcmp(kFontTables[i]->name, name) == 0) return kFontTables[i];
  }
  return nullptr;
}

bool same_ascii_name(const std::u16string& typeface, const char* name) {
  size_t length = std::strlen(name);
  if (typeface.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char16_t c = typeface[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    char n = name[i];
    if (n >= 'A' && n <= 'Z') n = static_cast<char>(n - 'A' + 'a');
    if (c != static_cast<char16_t>(n)) return false;
  }
  return true;
}

// The tables a typeface is drawn with, regular and bold (null: no bold
// face, bold is simulated). "MS Shell Dlg" resolves to Tahoma on every
// Windows since 2000, "MS Shell Dlg 2" always did; Liberation's faces have
// the advance widths of the faces they stand in for.
struct Family {
  const char* typeface;
  const char* regular;
  const char* bold;
};

constexpr Family kFamilies[] = {
    {"MS Shell Dlg", "tahoma", "tahoma_bold"},
    {"MS Shell Dlg 2", "tahoma", "tahoma_bold"},
    {"Tahoma", "tahoma", "tahoma_bold"},
    {"MS Sans Serif", "ms_sans_serif", nullptr},
    {"Arial", "liberation_sans", "liberation_sans_bold"},
    {"Times New Roman", "liberation_serif", "liberation_serif_bold"},
    {"Courier New", "liberation_mono", "liberation_mono"},
};

// Halves away from zero, as MulDiv rounds.
int round_div(int64_t value, int64_t divisor) {
  if (value < 0) return -static_cast<int>((-value + divisor / 2) / divisor);
  return static_cast<int>((value + divisor / 2) / divisor);
}

int scaled(const DialogMetrics& metrics, int units) {
  return round_div(int64_t{units} * metrics.em_px, metrics.table->em_units);
}

// GdiGetCharDimensions: the 52 letters' total width, halved with rounding
// after an integer division by 26.
int average_letter_width(const DialogMetrics& metrics) {
  int total = 0;
  for (char32_t c = U'a'; c <= U'z'; ++c) total += char_width_px(metrics, c);
  for (char32_t c = U'A'; c <= U'Z'; ++c) total += char_width_px(metrics, c);
  return (total / 26 + 1) / 2;
}

void choose_table(const DialogFont& font, DialogMetrics* metrics) {
  bool bold = font.weight >= kBoldWeight;
  for (const Family& family : kFamilies) {
    if (!same_ascii_name(font.typeface, family.typeface)) continue;
    const char* name =
        bold && family.bold != nullptr ? family.bold : family.regular;
    metrics->table = table_named(name);
    metrics->bold_extra_px = bold && family.bold == nullptr ? 1 : 0;
    return;
  }
  metrics->table = table_named(bold ? "tahoma_bold" : "tahoma");
  metrics->estimate = true;
}

const uint8_t* drawn_widths(const FontTable& table, int em_px) {
  for (size_t i = 0; i < table.drawn_count; ++i) {
    if (table.drawn[i].em_px == em_px) return table.drawn[i].widths;
  }
  return nullptr;
}

}  // namespace

DialogMetrics dialog_metrics(const DialogFont& font) {
  DialogMetrics metrics;
  if (font.system_font || font.point_size == 0) {
    metrics.table = table_named("tahoma_bold");
    metrics.em_px = kSystemFontEm;
    metrics.estimate = true;
  } else {
    choose_table(font, &metrics);
    // lfHeight = -MulDiv(points, 96, 72): the em height, rounded.
    metrics.em_px = round_div(int64_t{font.point_size} * kDpi, kPointsPerInch);
  }
  metrics.drawn = drawn_widths(*metrics.table, metrics.em_px);
  // tmHeight: ascent and descent are rounded apart.
  metrics.base_y = scaled(metrics, metrics.table->win_ascent) +
                   scaled(metrics, metrics.table->win_descent);
  metrics.line_px = metrics.base_y;
  metrics.base_x = average_letter_width(metrics);
  if (metrics.base_x <= 0) metrics.base_x = 1;
  if (metrics.base_y <= 0) metrics.base_y = 1;
  return metrics;
}

int char_width_px(const DialogMetrics& metrics, char32_t code) {
  const FontTable& table = *metrics.table;
  int units = table.default_width;
  // East Asian wide characters come from a fallback face a full em wide.
  if (code >= 0x2E80 && code < 0xFFEF) units = table.em_units;
  for (size_t i = 0; i < table.range_count; ++i) {
    const WidthRange& range = table.ranges[i];
    if (code < range.first || code - range.first >= range.count) continue;
    size_t index = code - range.first;
    uint8_t drawn = metrics.drawn ? metrics.drawn[range.drawn_at + index] : 0;
    if (drawn != 0) return drawn + metrics.bold_extra_px;
    if (range.widths[index] != 0) units = range.widths[index];
    break;
  }
  return scaled(metrics, units) + metrics.bold_extra_px;
}

int line_width_px(const DialogMetrics& metrics, std::u16string_view line,
                  bool no_prefix) {
  int width = 0;
  int tab_px = 8 * metrics.base_x;
  for (size_t i = 0; i < line.size(); ++i) {
    char32_t c = line[i];
    if (c == u'&' && !no_prefix) {
      if (i + 1 == line.size()) break;  // a trailing `&` draws nothing
      c = line[++i];
    }
    if (c == u'\t') {
      width = (width / tab_px + 1) * tab_px;
      continue;
    }
    bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < line.size() &&
                line[i + 1] >= 0xDC00 && line[i + 1] < 0xE000;
    if (pair) {
      c = 0x10000 + ((c - 0xD800) << 10) + (line[i + 1] - 0xDC00);
      ++i;
    }
    width += char_width_px(metrics, c);
  }
  return width;
}

namespace {

// The lines of a text, without their ends.
std::vector<std::u16string_view> split_lines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\n' && text[i] != u'\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

// Lines one paragraph (a line of the text) takes at `width_px`: words
// join the line while they fit, the space before each counted.
int paragraph_lines(const DialogMetrics& metrics, std::u16string_view line,
                    int width_px, bool no_prefix) {
  int space_px = char_width_px(metrics, U' ');
  int lines = 1;
  int current = -1;  // the line's width so far; -1 while it has no word
  size_t at = 0;
  while (at <= line.size()) {
    size_t end = line.find(u' ', at);
    if (end == std::u16string_view::npos) end = line.size();
    int word = line_width_px(metrics, line.substr(at, end - at), no_prefix);
    if (current < 0) {
      current = word;
    } else if (current + space_px + word <= width_px) {
      current += space_px + word;
    } else {
      lines += 1;
      current = word;
    }
    at = end + 1;
  }
  return lines;
}

}  // namespace

int text_width_px(const DialogMetrics& metrics, std::u16string_view text,
                  bool no_prefix) {
  int widest = 0;
  for (std::u16string_view line : split_lines(text)) {
    int width = line_width_px(metrics, line, no_prefix);
    if (width > widest) widest = width;
  }
  return widest;
}

int wrapped_lines(const DialogMetrics& metrics, std::u16string_view text,
                  int width_px, bool no_prefix) {
  int lines = 0;
  for (std::u16string_view line : split_lines(text)) {
    lines += paragraph_lines(metrics, line, width_px, no_prefix);
  }
  return lines;
}

int du_for_px_x(const DialogMetrics& metrics, int px) {
  if (px <= 0) return 0;
  // The least du with round(du * base_x / 4) >= px.
  int64_t numerator = 4 * int64_t{px} - 2;
  return static_cast<int>((numerator + metrics.base_x - 1) / metrics.base_x);
}

int px_of_du_x(const DialogMetrics& metrics, int du) {
  return round_div(int64_t{du} * metrics.base_x, 4);
}

int px_of_du_y(const DialogMetrics& metrics, int du) {
  return round_div(int64_t{du} * metrics.base_y, 8);
}

}  // namespace uitrans
