// SPDX-License-Identifier: MIT
// Reading gettext catalogues. The reader goes line by line: a line is blank,
// a comment, a keyword followed by strings, or strings that continue the
// text of the last keyword. Texts are collected as UTF-8 bytes (escapes may
// produce single bytes of a character) and checked once their keyword ends.
#include "replace/po_catalogue.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/unicode.h"

namespace uitrans {

namespace {

// The keyword whose strings are being read.
enum class Field { none, msgctxt, msgid, msgid_plural, msgstr, msgstr_plural };

struct Entry {
  bool fuzzy = false;  // from a "#," line before the entry
  bool has_context = false;
  bool plural = false;
  uint32_t line = 0;  // of the msgid keyword
  uint32_t context_line = 0;
  std::string msgctxt;  // UTF-8, escapes resolved
  std::string msgid;
  std::string msgstr;
};

struct Reader {
  uint32_t line = 0;  // the line being read, from 1
  Field field = Field::none;
  bool field_has_string = false;
  uint32_t field_line = 0;
  std::string text;  // the current keyword's strings, joined
  Entry entry;
  std::vector<CataloguePair>* pairs = nullptr;
  CatalogueProblem* problem = nullptr;
};

// A position inside one line of the file.
struct Cursor {
  ByteSpan line;
  size_t position = 0;
};

bool fail(Reader* reader, CatalogueError error, uint32_t line) {
  reader->problem->error = error;
  reader->problem->line = line;
  return false;
}

bool peek(const Cursor& cursor, uint8_t* byte) {
  return read_u8(cursor.line, cursor.position, byte);
}

bool is_blank(uint8_t byte) {
  return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\f' ||
         byte == '\v';
}

void skip_blanks(Cursor* cursor) {
  uint8_t byte = 0;
  while (peek(*cursor, &byte) && is_blank(byte)) ++cursor->position;
}

bool is_after_msgstr(Field field) {
  return field == Field::msgstr || field == Field::msgstr_plural;
}

ByteSpan span_of(const std::string& text) {
  return ByteSpan{reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

int digit_value(uint8_t byte, int base) {
  int value = -1;
  if (byte >= '0' && byte <= '9') value = byte - '0';
  if (byte >= 'a' && byte <= 'f') value = byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') value = byte - 'A' + 10;
  return value < base ? value : -1;
}

// Reads a numeric escape: up to three octal digits, or after 'x' one or
// more hexadecimal digits. Each stands for one byte of the text.
bool read_numeric_escape(Cursor* cursor, int base, std::string* text) {
  size_t most_digits = base == 8 ? 3 : SIZE_MAX;
  uint32_t value = 0;
  size_t digits = 0;
  uint8_t byte = 0;
  while (digits < most_digits && peek(*cursor, &byte) &&
         digit_value(byte, base) >= 0) {
    value = value * static_cast<uint32_t>(base) +
            static_cast<uint32_t>(digit_value(byte, base));
    if (value > 0xFF) return false;
    ++cursor->position;
    ++digits;
  }
  // A zero byte would end the text inside the resource data.
  if (digits == 0 || value == 0) return false;
  text->push_back(static_cast<char>(value));
  return true;
}

// Reads the escape after a backslash and appends what it stands for.
bool read_escape(Cursor* cursor, std::string* text) {
  static constexpr std::string_view kCodes = "ntrabfv\\\"";
  static constexpr std::string_view kValues = "\n\t\r\a\b\f\v\\\"";
  uint8_t code = 0;
  if (!peek(*cursor, &code)) return false;
  size_t index = kCodes.find(static_cast<char>(code));
  if (index != std::string_view::npos) {
    ++cursor->position;
    text->push_back(kValues[index]);
    return true;
  }
  if (code == 'x') {
    ++cursor->position;
    return read_numeric_escape(cursor, 16, text);
  }
  return digit_value(code, 8) >= 0 && read_numeric_escape(cursor, 8, text);
}

// Reads one quoted string starting at its opening quote.
CatalogueError read_string(Cursor* cursor, std::string* text) {
  ++cursor->position;
  uint8_t byte = 0;
  while (peek(*cursor, &byte)) {
    ++cursor->position;
    if (byte == '"') return CatalogueError::none;
    if (byte == '\\') {
      if (!read_escape(cursor, text)) return CatalogueError::invalid_escape;
    } else if (byte == 0) {
      return CatalogueError::syntax;
    } else {
      text->push_back(static_cast<char>(byte));
    }
  }
  return CatalogueError::syntax;  // the line ends inside the string
}

// Reads the strings up to the end of the line into the current text.
bool read_strings(Reader* reader, Cursor* cursor) {
  for (;;) {
    skip_blanks(cursor);
    uint8_t byte = 0;
    if (!peek(*cursor, &byte)) return true;
    if (byte != '"') return fail(reader, CatalogueError::syntax, reader->line);
    CatalogueError error = read_string(cursor, &reader->text);
    if (error != CatalogueError::none) return fail(reader, error, reader->line);
    reader->field_has_string = true;
  }
}

// The charsets a catalogue may declare: UTF-8, its subset ASCII, and the
// placeholder of a template nobody has set yet.
bool is_accepted_charset(std::string_view name) {
  static constexpr std::string_view kAccepted[] = {"utf-8", "utf8", "ascii",
                                                   "us-ascii", "charset"};
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return std::find(std::begin(kAccepted), std::end(kAccepted), lower) !=
         std::end(kAccepted);
}

// Whether the header's Content-Type names an encoding that is read as UTF-8
// (or names none).
bool header_charset_is_utf8(const std::string& header) {
  static constexpr std::string_view kCharset = "charset=";
  size_t start = header.find(kCharset);
  if (start == std::string::npos) return true;
  start += kCharset.size();
  size_t end = header.find_first_of(" \t\r\n;", start);
  if (end == std::string::npos) end = header.size();
  return is_accepted_charset(
      std::string_view(header).substr(start, end - start));
}

// Ends the entry whose msgstr was read last: the header is checked, a
// translated entry becomes a pair.
bool end_entry(Reader* reader) {
  Entry& entry = reader->entry;
  if (entry.msgid.empty() && !entry.has_context) {
    if (!header_charset_is_utf8(entry.msgstr)) {
      return fail(reader, CatalogueError::foreign_charset, entry.line);
    }
  } else if (!entry.fuzzy && !entry.plural && !entry.msgid.empty() &&
             !entry.msgstr.empty()) {
    reader->pairs->push_back(
        CataloguePair{utf16_of(entry.msgid), utf16_of(entry.msgstr), entry.line,
                      entry.has_context, entry.msgctxt, entry.context_line});
  }
  entry = Entry{};
  return true;
}

// Ends the current keyword: it must have had a string, and its text must be
// UTF-8 once the escapes are resolved.
bool end_field(Reader* reader) {
  if (reader->field == Field::none) return true;
  if (!reader->field_has_string) {
    return fail(reader, CatalogueError::syntax, reader->field_line);
  }
  if (!is_valid_utf8(span_of(reader->text))) {
    return fail(reader, CatalogueError::invalid_utf8, reader->field_line);
  }
  if (reader->field == Field::msgctxt) reader->entry.msgctxt = reader->text;
  if (reader->field == Field::msgid) reader->entry.msgid = reader->text;
  if (reader->field == Field::msgstr) reader->entry.msgstr = reader->text;
  reader->text.clear();
  reader->field_has_string = false;
  return true;
}

// Whether `next` may follow the current keyword (gettext's grammar).
bool may_follow(Field current, Field next) {
  switch (next) {
    case Field::msgctxt:
      return current == Field::none || is_after_msgstr(current);
    case Field::msgid:
      return current == Field::none || current == Field::msgctxt ||
             is_after_msgstr(current);
    case Field::msgid_plural:
    case Field::msgstr:
      return current == Field::msgid;
    case Field::msgstr_plural:
      return current == Field::msgid_plural || current == Field::msgstr_plural;
    case Field::none:
      break;
  }
  return false;
}

bool begin_field(Reader* reader, Field next) {
  if (!end_field(reader)) return false;
  if (!may_follow(reader->field, next)) {
    return fail(reader, CatalogueError::syntax, reader->line);
  }
  bool starts_entry = next == Field::msgctxt || next == Field::msgid;
  if (starts_entry && is_after_msgstr(reader->field) && !end_entry(reader)) {
    return false;
  }
  if (next == Field::msgctxt) {
    reader->entry.has_context = true;
    reader->entry.context_line = reader->line;
  }
  if (next == Field::msgid) reader->entry.line = reader->line;
  if (next == Field::msgid_plural) reader->entry.plural = true;
  reader->field = next;
  reader->field_line = reader->line;
  return true;
}

// Reads a keyword: msgctxt, msgid, msgid_plural, msgstr or msgstr[N].
bool read_keyword(Cursor* cursor, Field* field) {
  std::string word;
  uint8_t byte = 0;
  while (peek(*cursor, &byte) &&
         ((byte >= 'a' && byte <= 'z') || byte == '_')) {
    word.push_back(static_cast<char>(byte));
    ++cursor->position;
  }
  if (word == "msgctxt")
    *field = Field::msgctxt;
  else if (word == "msgid")
    *field = Field::msgid;
  else if (word == "msgid_plural")
    *field = Field::msgid_plural;
  else if (word == "msgstr")
    *field = Field::msgstr;
  else
    return false;
  if (*field != Field::msgstr) return true;
  skip_blanks(cursor);
  if (!peek(*cursor, &byte) || byte != '[') return true;
  ++cursor->position;
  size_t digits = 0;
  while (peek(*cursor, &byte) && digit_value(byte, 10) >= 0) {
    ++cursor->position;
    ++digits;
  }
  if (digits == 0 || !peek(*cursor, &byte) || byte != ']') return false;
  ++cursor->position;
  *field = Field::msgstr_plural;
  return true;
}

// Whether the flags of a "#," line (from `cursor` on) include fuzzy.
bool has_fuzzy_flag(Cursor cursor) {
  std::string_view rest(
      reinterpret_cast<const char*>(cursor.line.data) + cursor.position,
      cursor.line.size - cursor.position);
  while (!rest.empty()) {
    size_t comma = std::min(rest.find(','), rest.size());
    std::string_view flag = rest.substr(0, comma);
    size_t first = flag.find_first_not_of(" \t\r\f\v");
    size_t last = flag.find_last_not_of(" \t\r\f\v");
    if (first != std::string_view::npos &&
        flag.substr(first, last - first + 1) == "fuzzy") {
      return true;
    }
    rest.remove_prefix(std::min(comma + 1, rest.size()));
  }
  return false;
}

// A comment ends the entry whose msgstr came before it; inside an entry it
// is a syntax error, as in gettext. Only two kinds matter: flags, and the
// obsolete entries (#~), which are skipped whole.
bool read_comment(Reader* reader, Cursor cursor) {
  if (reader->field != Field::none) {
    if (!is_after_msgstr(reader->field)) {
      return fail(reader, CatalogueError::syntax, reader->line);
    }
    if (!end_field(reader) || !end_entry(reader)) return false;
    reader->field = Field::none;
  }
  ++cursor.position;  // the '#'
  uint8_t kind = 0;
  if (!peek(cursor, &kind)) return true;
  ++cursor.position;
  // An obsolete entry takes the comments before it.
  if (kind == '~') reader->entry.fuzzy = false;
  if (kind == ',' && has_fuzzy_flag(cursor)) reader->entry.fuzzy = true;
  return true;
}

bool read_line(Reader* reader, ByteSpan line) {
  if (!is_valid_utf8(line)) {
    return fail(reader, CatalogueError::invalid_utf8, reader->line);
  }
  Cursor cursor{line, 0};
  skip_blanks(&cursor);
  uint8_t first = 0;
  if (!peek(cursor, &first)) return true;  // a blank line
  if (first == '#') return read_comment(reader, cursor);
  if (first == '"') {
    if (reader->field == Field::none) {
      return fail(reader, CatalogueError::syntax, reader->line);
    }
    return read_strings(reader, &cursor);
  }
  Field field = Field::none;
  if (!read_keyword(&cursor, &field)) {
    return fail(reader, CatalogueError::syntax, reader->line);
  }
  return begin_field(reader, field) && read_strings(reader, &cursor);
}

bool starts_with_utf8_mark(ByteSpan bytes) {
  uint8_t mark[3] = {};
  for (size_t i = 0; i < 3; ++i) {
    if (!read_u8(bytes, i, &mark[i])) return false;
  }
  return mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
}

// The end of the file must not fall inside an entry.
bool read_end(Reader* reader) {
  if (reader->field == Field::none) return true;
  if (!end_field(reader)) return false;
  if (!is_after_msgstr(reader->field)) {
    return fail(reader, CatalogueError::syntax, reader->field_line);
  }
  return end_entry(reader);
}

}  // namespace

bool parse_po_catalogue(ByteSpan file_bytes, std::vector<CataloguePair>* pairs,
                        CatalogueProblem* problem) {
  pairs->clear();
  *problem = CatalogueProblem{};
  Reader reader;
  reader.pairs = pairs;
  reader.problem = problem;
  const uint8_t* data = file_bytes.data;
  size_t size = file_bytes.size;
  size_t start = starts_with_utf8_mark(file_bytes) ? 3 : 0;
  while (start < size) {
    const uint8_t* line_feed = std::find(data + start, data + size, '\n');
    size_t end = static_cast<size_t>(line_feed - data);
    if (reader.line < UINT32_MAX) ++reader.line;
    if (!read_line(&reader, ByteSpan{data + start, end - start})) return false;
    start = end + 1;
  }
  return read_end(&reader);
}

namespace {

// The contexts of the pairs, in the table and by entry in file order; false
// at the first that names no place name's form.
bool attach_contexts(const std::vector<CataloguePair>& pairs,
                     ReplacementTable* table, CatalogueProblem* problem) {
  if (std::none_of(pairs.begin(), pairs.end(), [](const CataloguePair& pair) {
        return pair.has_context;
      })) {
    return true;
  }
  table->entry_context.assign(pairs.size(), kNoEntry);
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (!pairs[i].has_context) continue;
    EntryContext context;
    if (!parse_entry_context(pairs[i].context, &context)) {
      problem->error = CatalogueError::invalid_context;
      problem->line = pairs[i].context_line;
      return false;
    }
    context.line = pairs[i].context_line;
    table->entry_context[i] = static_cast<uint32_t>(table->contexts.size());
    table->contexts.push_back(std::move(context));
  }
  return true;
}

}  // namespace

ListLoadStatus parse_catalogue(ByteSpan file_bytes, ReplacementTable* table,
                               CatalogueProblem* problem) {
  reset_table(table);
  std::vector<CataloguePair> pairs;
  if (!parse_po_catalogue(file_bytes, &pairs, problem)) {
    return ListLoadStatus::catalogue_refused;
  }
  // Both texts of each pair, zero-terminated, in the table's own buffer.
  size_t total = 0;
  for (const CataloguePair& pair : pairs) {
    total += pair.find.size() + pair.replacement.size() + 2;
  }
  table->list_units.reset(new char16_t[total > 0 ? total : 1]);
  table->list_unit_count = total;
  reserve_prepared(*table, &table->entries, pairs.size());
  if (!attach_contexts(pairs, table, problem)) {
    reset_table(table);
    return ListLoadStatus::catalogue_refused;
  }
  char16_t* out = table->list_units.get();
  for (const CataloguePair& pair : pairs) {
    auto find_length = static_cast<uint32_t>(pair.find.size());
    auto replacement_length = static_cast<uint32_t>(pair.replacement.size());
    char16_t* find = out;
    out = std::copy(pair.find.begin(), pair.find.end(), out);
    *out++ = 0;
    char16_t* replacement = out;
    out = std::copy(pair.replacement.begin(), pair.replacement.end(), out);
    *out++ = 0;
    table->entries.push_back(ReplacementEntry{find, find_length, replacement,
                                              replacement_length, pair.line});
  }
  finish_replacement_table(table);
  return ListLoadStatus::ok;
}

}  // namespace uitrans
