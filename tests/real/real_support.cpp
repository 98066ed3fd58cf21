// SPDX-License-Identifier: MIT
#include "real/real_support.h"

#include <cstdio>
#include <cstdlib>

namespace real {

const std::vector<Translation>& fixture_translations() {
  static const std::vector<Translation> translations = {
      // Menus, classic and extended, nested popups included.
      {u"&File", u"&Datei"},
      {u"&Open...\tCtrl+O", u"\u00D6&ffnen...\tStrg+O"},
      {u"Recent &Files", u"&Zuletzt"},
      {u"Third", u"Dritte"},
      {u"E&xit", u"&Beenden"},
      {u"&About...", u"&Info..."},
      {u"Cu&t", u"&Ausschneiden"},
      {u"&Insert", u"&Einf\u00FCgen"},
      {u"&Time", u"&Zeit"},
      {u"&Window", u"&Fenster"},
      {u"&Properties", u"&Eigenschaften"},
      // Dialog titles, control titles, a typeface, creation data.
      {u"About", u"Info"},
      {u"Options", u"Optionen"},
      {u"MS Sans Serif", u"Tahoma"},
      {u"&Wrap lines", u"&Umbruch"},
      {u"Appearance", u"Darstellung"},
      {u"Cancel", u"Abbrechen"},
      {u"Find", u"Suchen"},
      {u"Find &what:", u"&Suchen nach:"},
      {u"Match &case", u"&Gro\u00DF/Klein"},
      {u"Hidden", u"Verborgen"},
      {u"Plain", u"Schlicht"},
      {u"Ready", u"Bereit"},
      {u"Raw classic", u"Roh"},
      {u"Label", u"Beschriftung"},
  };
  return translations;
}

std::string translation_report(const std::string& name, int hits, bool grown) {
  std::string report =
      std::to_string(hits) + " strings replaced in " + name + ".\n";
  if (grown) {
    report += " Warning: " + name +
              " string tables resized -\n\tstill experimental, could cause "
              "corruption.\n";
  }
  return report;
}

Bytes list_file(const std::vector<Translation>& translations) {
  Bytes bytes = {0xFF, 0xFE};
  for (const Translation& pair : translations) {
    testsupport::append_text(bytes, pair.find + u"\r\n");
    testsupport::append_text(bytes, pair.replacement + u"\r\n");
  }
  return bytes;
}

std::string fixture_path(const std::string& name) {
  return std::string(UITRANS_FIXTURES_DIR) + "/" + name;
}

std::string utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string probe_escape(const std::u16string& text) {
  std::u16string escaped;
  for (char16_t unit : text) {
    if (unit == u'\\' || unit == u'"') {
      escaped += u'\\';
      escaped += unit;
    } else if (unit == u'\t') {
      escaped += u"\\t";
    } else if (unit == u'\n') {
      escaped += u"\\n";
    } else if (unit == u'\r') {
      escaped += u"\\r";
    } else if (unit < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(unit));
      for (const char* p = hex; *p; ++p) escaped += static_cast<char16_t>(*p);
    } else {
      escaped += unit;
    }
  }
  return utf8(escaped);
}

namespace {

// Replaces the value of ` label="..."` in `line` when it is a find text;
// returns the change in units (0 when nothing was replaced).
long translate_field(std::string& line, const std::string& label,
                     const std::vector<Translation>& translations) {
  for (const Translation& pair : translations) {
    const std::string field =
        " " + label + "=\"" + probe_escape(pair.find) + "\"";
    size_t at = line.find(field);
    if (at == std::string::npos) continue;
    line.replace(at, field.size(),
                 " " + label + "=\"" + probe_escape(pair.replacement) + "\"");
    return static_cast<long>(pair.replacement.size()) -
           static_cast<long>(pair.find.size());
  }
  return 0;
}

bool is_string_line(const std::string& line) {
  return line.rfind("string ", 0) == 0;
}

// Version texts and messages: the tool leaves them as they are.
bool is_untranslated_line(const std::string& line) {
  return line.rfind("version ", 0) == 0 || line.rfind("message ", 0) == 0;
}

void adjust_data_count(std::string& line, long unit_change) {
  const std::string label = " data=";
  size_t at = line.find(label);
  if (at == std::string::npos || unit_change == 0) return;
  size_t start = at + label.size();
  size_t end = line.find(' ', start);
  long count =
      std::strtol(line.substr(start, end - start).c_str(), nullptr, 10);
  line.replace(start, end - start, std::to_string(count + 2 * unit_change));
}

}  // namespace

std::string translate_printout(const std::string& printout,
                               const std::vector<Translation>& translations,
                               bool string_tables) {
  std::string out;
  size_t start = 0;
  while (start < printout.size()) {
    size_t end = printout.find('\n', start);
    if (end == std::string::npos) end = printout.size();
    std::string line = printout.substr(start, end - start);
    if (!is_untranslated_line(line)) {
      if (string_tables || !is_string_line(line)) {
        translate_field(line, "text", translations);
      }
      translate_field(line, "face", translations);
      adjust_data_count(line, translate_field(line, "datatext", translations));
    }
    out += line;
    if (end < printout.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

namespace {

// One UTF-8 sequence at `at` as UTF-16 units; advances `at`.
void append_decoded(const std::string& text, size_t& at, std::u16string& out) {
  const auto byte = [&](size_t i) {
    return i < text.size()
               ? static_cast<uint32_t>(static_cast<unsigned char>(text[i]))
               : 0u;
  };
  uint32_t lead = byte(at);
  size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  uint32_t code = length == 1   ? lead
                  : length == 2 ? lead & 0x1F
                  : length == 3 ? lead & 0x0F
                                : lead & 0x07;
  for (size_t i = 1; i < length; ++i)
    code = (code << 6) | (byte(at + i) & 0x3F);
  at += length;
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
  out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
}

// The value of ` label="..."` in `line`, unescaped; false when absent.
bool quoted_field(const std::string& line, const std::string& label,
                  std::u16string* value) {
  const std::string start = " " + label + "=\"";
  size_t at = line.find(start);
  if (at == std::string::npos) return false;
  value->clear();
  for (at += start.size(); at < line.size() && line[at] != '"';) {
    if (line[at] != '\\' || at + 1 >= line.size()) {
      append_decoded(line, at, *value);
      continue;
    }
    const char escaped = line[at + 1];
    if (escaped == 'x') {
      *value += static_cast<char16_t>(
          std::strtoul(line.substr(at + 2, 2).c_str(), nullptr, 16));
      at += 4;
      continue;
    }
    *value += escaped == 't'   ? u'\t'
              : escaped == 'n' ? u'\n'
              : escaped == 'r' ? u'\r'
                               : static_cast<char16_t>(escaped);
    at += 2;
  }
  return true;
}

bool fits_a_list_line(const std::u16string& text) {
  return text.size() >= 2 && text[0] != u'\uFFFF' &&
         text.find_first_of(u"\r\n") == std::u16string::npos;
}

}  // namespace

std::vector<std::string> lines_of(const std::string& printout) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < printout.size()) {
    size_t end = printout.find('\n', start);
    if (end == std::string::npos) end = printout.size();
    lines.push_back(printout.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::set<std::u16string> printout_texts(const std::string& printout,
                                        bool string_tables) {
  std::set<std::u16string> texts;
  for (const std::string& line : lines_of(printout)) {
    std::u16string text;
    if (is_string_line(line) && !string_tables) continue;
    if (is_untranslated_line(line)) continue;
    if (quoted_field(line, "text", &text) ||
        quoted_field(line, "face", &text)) {
      if (fits_a_list_line(text)) texts.insert(text);
    }
  }
  return texts;
}

}  // namespace real
