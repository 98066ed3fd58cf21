// SPDX-License-Identifier: MIT
// Writing gettext templates. Strings are written as gettext writes them: a
// text that fits beside its keyword stays on that line; a longer one, or one
// with a line break before its end, starts with an empty string and goes on
// in lines of at most 79 columns, broken after each line break and after
// spaces.
#include "replace/po_writer.h"

#include <cstdio>
#include <string_view>

#include "common/unicode.h"

namespace uitrans {

namespace {

constexpr size_t kPageWidth = 79;

// One character of a string as written: its escaped form and its width.
struct Glyph {
  std::string text;
  size_t width = 0;
  bool is_space = false;
  bool ends_line = false;  // a line break: the string line ends after it
};

// East Asian wide and fullwidth characters take two columns in a terminal
// and in gettext's measure.
bool is_wide(uint32_t code_point) {
  return (code_point >= 0x1100 && code_point <= 0x115F) ||
         (code_point >= 0x2E80 && code_point <= 0xA4CF) ||
         (code_point >= 0xAC00 && code_point <= 0xD7A3) ||
         (code_point >= 0xF900 && code_point <= 0xFAFF) ||
         (code_point >= 0xFE30 && code_point <= 0xFE4F) ||
         (code_point >= 0xFF00 && code_point <= 0xFF60) ||
         (code_point >= 0xFFE0 && code_point <= 0xFFE6) ||
         (code_point >= 0x20000 && code_point <= 0x3FFFD);
}

// gettext's escapes; other control characters as three octal digits, which
// gettext reads back as the same byte.
Glyph glyph_of(uint32_t code_point) {
  static constexpr std::string_view kControls = "\n\t\r\a\b\f\v\\\"";
  static constexpr std::string_view kCodes = "ntrabfv\\\"";
  Glyph glyph;
  size_t index = code_point < 0x80
                     ? kControls.find(static_cast<char>(code_point))
                     : std::string_view::npos;
  if (index != std::string_view::npos) {
    glyph.text = {'\\', kCodes[index]};
  } else if (code_point < 0x20 || code_point == 0x7F) {
    char octal[16];
    std::snprintf(octal, sizeof octal, "\\%03o", code_point);
    glyph.text = octal;
  } else {
    append_code_point(&glyph.text, code_point);
  }
  glyph.width = glyph.text.size() > 1 && glyph.text[0] == '\\'
                    ? glyph.text.size()
                    : (is_wide(code_point) ? 2 : 1);
  glyph.is_space = code_point == ' ';
  glyph.ends_line = code_point == '\n';
  return glyph;
}

// The glyphs of a UTF-16 text; false when it holds a lone surrogate.
bool glyphs_of_units(const std::u16string& text, std::vector<Glyph>* glyphs) {
  for (size_t i = 0; i < text.size();) {
    CodePoint c = code_point_at(text, i);
    if (is_surrogate(c.value)) return false;
    glyphs->push_back(glyph_of(c.value));
    i += c.units;
  }
  return true;
}

// The glyphs of UTF-8 text the program made itself (the header): the bytes
// of a multi-byte character stay together as one glyph.
std::vector<Glyph> glyphs_of_utf8(std::string_view text) {
  std::vector<Glyph> glyphs;
  for (char c : text) {
    auto byte = static_cast<uint8_t>(c);
    if ((byte & 0xC0) == 0x80 && !glyphs.empty() &&
        static_cast<uint8_t>(glyphs.back().text[0]) >= 0xC0) {
      glyphs.back().text.push_back(c);
    } else if (byte >= 0x80) {
      glyphs.push_back(Glyph{std::string(1, c), 1, false, false});
    } else {
      glyphs.push_back(glyph_of(byte));
    }
  }
  return glyphs;
}

// Cuts the glyphs into string lines of at most `width` columns where a
// space allows, and after every line break.
std::vector<std::string> wrap(const std::vector<Glyph>& glyphs, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t line_width = 0;
  size_t break_at = 0;  // bytes of `line` up to its last space, 0 for none
  size_t break_width = 0;
  for (const Glyph& glyph : glyphs) {
    if (line_width + glyph.width > width && break_at > 0) {
      lines.push_back(line.substr(0, break_at));
      line.erase(0, break_at);
      line_width -= break_width;
      break_at = 0;
    }
    line += glyph.text;
    line_width += glyph.width;
    if (glyph.is_space) break_at = line.size(), break_width = line_width;
    if (glyph.ends_line) {
      lines.push_back(line);
      line.clear();
      line_width = 0;
      break_at = 0;
    }
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

// `keyword "text"` on one line when it fits, else `keyword ""` and the
// text's lines.
std::string keyword_string(std::string_view keyword,
                           const std::vector<Glyph>& glyphs) {
  std::string out(keyword);
  std::vector<std::string> lines =
      wrap(glyphs, kPageWidth - keyword.size() - 3);
  if (lines.size() == 1) return out + " \"" + lines[0] + "\"\n";
  out += " \"\"\n";
  for (const std::string& line : wrap(glyphs, kPageWidth - 2)) {
    out += "\"" + line + "\"\n";
  }
  return out;
}

// "#:" lines holding the references, as many to a line as fit.
std::string reference_lines(const std::vector<std::string>& references) {
  std::string out;
  std::string line;
  for (const std::string& reference : references) {
    if (!line.empty() && line.size() + 1 + reference.size() > kPageWidth) {
      out += line + "\n";
      line.clear();
    }
    if (line.empty()) line = "#:";
    line += " " + reference;
  }
  if (!line.empty()) out += line + "\n";
  return out;
}

// A comment stays on its line whatever it holds.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string header_entry(const PotHeader& header) {
  std::string fields = "Project-Id-Version: " + one_line(header.project) +
                       "\n"
                       "Report-Msgid-Bugs-To: \n"
                       "POT-Creation-Date: " +
                       one_line(header.creation_date) +
                       "\n"
                       "PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n"
                       "Last-Translator: FULL NAME <EMAIL@ADDRESS>\n"
                       "Language-Team: LANGUAGE <LL@li.org>\n"
                       "Language: \n"
                       "MIME-Version: 1.0\n"
                       "Content-Type: text/plain; charset=UTF-8\n"
                       "Content-Transfer-Encoding: 8bit\n"
                       "X-Generator: uitrans " +
                       one_line(header.version) + "\n";
  // The header of a template stays fuzzy until a translator fills it in.
  return "#, fuzzy\nmsgid \"\"\n" +
         keyword_string("msgstr", glyphs_of_utf8(fields));
}

}  // namespace

std::string write_pot(const PotHeader& header,
                      const std::vector<PotEntry>& entries,
                      uint32_t* unwritable,
                      const std::vector<std::u16string>& translations) {
  *unwritable = 0;
  std::string out = header_entry(header);
  for (size_t i = 0; i < entries.size(); ++i) {
    const PotEntry& entry = entries[i];
    std::vector<Glyph> glyphs;
    if (!glyphs_of_units(entry.text, &glyphs)) {
      ++*unwritable;
      continue;
    }
    out += "\n";
    if (!entry.comment.empty()) out += "#. " + one_line(entry.comment) + "\n";
    out += reference_lines(entry.references);
    if (entry.has_context) {
      out += keyword_string("msgctxt", glyphs_of_utf8(entry.context));
    }
    out += keyword_string("msgid", glyphs);
    std::vector<Glyph> translation;
    if (i >= translations.size() || translations[i].empty() ||
        !glyphs_of_units(translations[i], &translation)) {
      out += "msgstr \"\"\n";
    } else {
      out += keyword_string("msgstr", translation);
    }
  }
  return out;
}

std::string pot_date(const std::tm& utc) {
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d+0000",
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                utc.tm_min);
  return text;
}

}  // namespace uitrans
