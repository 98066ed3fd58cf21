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

std::string translation_report(const std::string& name, bool grown) {
  std::string report =
      std::to_string(kFixtureHits) + " strings replaced in " + name + ".\n";
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
                               const std::vector<Translation>& translations) {
  std::string out;
  size_t start = 0;
  while (start < printout.size()) {
    size_t end = printout.find('\n', start);
    if (end == std::string::npos) end = printout.size();
    std::string line = printout.substr(start, end - start);
    translate_field(line, "text", translations);
    translate_field(line, "face", translations);
    adjust_data_count(line, translate_field(line, "datatext", translations));
    out += line;
    if (end < printout.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace real
