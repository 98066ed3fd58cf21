// SPDX-License-Identifier: MIT
#include "replace/placeholders.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace uitrans {

namespace {

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool is_one_of(char16_t c, std::u16string_view set) {
  return set.find(c) != std::u16string_view::npos;
}

size_t skip_digits(const std::u16string& text, size_t i) {
  while (i < text.size() && is_digit(text[i])) ++i;
  return i;
}

// A `1$` position after a % or a `*`.
size_t skip_position(const std::u16string& text, size_t i) {
  size_t digits = skip_digits(text, i);
  return digits > i && digits < text.size() && text[digits] == u'$' ? digits + 1
                                                                    : i;
}

// A width or a precision: digits, or `*` (an argument of its own).
size_t skip_field(const std::u16string& text, size_t i,
                  PrintfArguments* arguments) {
  if (i < text.size() && text[i] == u'*') {
    arguments->push_back(u"*");
    return skip_position(text, i + 1);
  }
  return skip_digits(text, i);
}

// The length modifiers of C and of the Microsoft runtime, longest first.
size_t length_modifier(const std::u16string& text, size_t i) {
  static constexpr std::u16string_view kModifiers[] = {
      u"I64", u"I32", u"hh", u"ll", u"h", u"l", u"L",
      u"q",   u"j",   u"z",  u"t",  u"I", u"w"};
  std::u16string_view rest(text.data() + i, text.size() - i);
  for (std::u16string_view modifier : kModifiers) {
    if (rest.substr(0, modifier.size()) == modifier) return modifier.size();
  }
  return 0;
}

// The conversion at text[at] == '%': its end, and the arguments it takes.
// False when what follows the % is no conversion. The space flag is not
// read: "50% off" is far more common in interface texts than "% d".
bool read_conversion(const std::u16string& text, size_t at, size_t* end,
                     PrintfArguments* arguments) {
  PrintfArguments taken;
  size_t i = skip_position(text, at + 1);
  while (i < text.size() && is_one_of(text[i], u"-+#0'")) ++i;
  i = skip_field(text, i, &taken);
  if (i < text.size() && text[i] == u'.') i = skip_field(text, i + 1, &taken);
  size_t modifier = length_modifier(text, i);
  size_t type = i + modifier;
  if (type >= text.size() || !is_one_of(text[type], u"diouxXeEfFgGaAcspnCS")) {
    return false;
  }
  std::u16string argument = text.substr(i, modifier);
  argument.push_back(text[type] == u'i' ? u'd' : text[type]);
  taken.push_back(argument);
  arguments->insert(arguments->end(), taken.begin(), taken.end());
  *end = type + 1;
  return true;
}

// The insert at text[at] == '%': its end; false for an escape or a %0.
bool read_insert(const std::u16string& text, size_t at, size_t* end,
                 FormatInsert* insert) {
  size_t i = at + 1;
  if (i >= text.size() || !is_digit(text[i]) || text[i] == u'0') return false;
  insert->number = static_cast<uint32_t>(text[i] - u'0');
  ++i;
  if (i < text.size() && is_digit(text[i])) {
    insert->number =
        insert->number * 10 + static_cast<uint32_t>(text[i] - u'0');
    ++i;
  }
  insert->format.assign(1, u's');  // not `= u"s"`: a false -Wrestrict in GCC 12
  if (i < text.size() && text[i] == u'!') {
    size_t close = text.find(u'!', i + 1);
    if (close != std::u16string::npos) {
      insert->format = text.substr(i + 1, close - i - 1);
      i = close + 1;
    }
  }
  *end = i;
  return true;
}

PlaceholderVerdict worse(PlaceholderVerdict a, PlaceholderVerdict b) {
  return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

}  // namespace

PrintfArguments printf_arguments(const std::u16string& text) {
  PrintfArguments arguments;
  for (size_t i = 0; i < text.size();) {
    size_t end = 0;
    if (text[i] != u'%') {
      ++i;
    } else if (i + 1 < text.size() && text[i + 1] == u'%') {
      i += 2;
    } else if (read_conversion(text, i, &end, &arguments)) {
      i = end;
    } else {
      ++i;
    }
  }
  return arguments;
}

std::vector<FormatInsert> format_inserts(const std::u16string& text) {
  std::vector<FormatInsert> inserts;
  for (size_t i = 0; i < text.size();) {
    FormatInsert insert;
    size_t end = 0;
    if (text[i] != u'%') {
      ++i;
    } else if (read_insert(text, i, &end, &insert)) {
      inserts.push_back(insert);
      i = end;
    } else {
      i += 2;  // an escape: %n, %%, %! and the like
    }
  }
  return inserts;
}

PlaceholderVerdict compare_printf(const std::u16string& source,
                                  const std::u16string& translation) {
  PrintfArguments from = printf_arguments(source);
  PrintfArguments to = printf_arguments(translation);
  if (from == to) return PlaceholderVerdict::same;
  bool prefix =
      to.size() < from.size() && std::equal(to.begin(), to.end(), from.begin());
  return prefix ? PlaceholderVerdict::dropped : PlaceholderVerdict::differs;
}

PlaceholderVerdict compare_inserts(const std::u16string& source,
                                   const std::u16string& translation) {
  std::map<uint32_t, std::u16string> formats;
  for (const FormatInsert& insert : format_inserts(source)) {
    formats.emplace(insert.number, insert.format);
  }
  std::map<uint32_t, bool> used;
  for (const FormatInsert& insert : format_inserts(translation)) {
    auto known = formats.find(insert.number);
    if (known == formats.end() || known->second != insert.format) {
      return PlaceholderVerdict::differs;
    }
    used[insert.number] = true;
  }
  return used.size() < formats.size() ? PlaceholderVerdict::dropped
                                      : PlaceholderVerdict::same;
}

PlaceholderVerdict compare_placeholders(PlaceholderSyntax syntax,
                                        const std::u16string& source,
                                        const std::u16string& translation) {
  if (syntax == PlaceholderSyntax::inserts) {
    return compare_inserts(source, translation);
  }
  PlaceholderVerdict verdict = compare_printf(source, translation);
  if (!format_inserts(source).empty()) {
    verdict = worse(verdict, compare_inserts(source, translation));
  }
  return verdict;
}

std::vector<UnitSpan> placeholder_spans(const std::u16string& text) {
  std::vector<UnitSpan> spans;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != u'%') {
      ++i;
      continue;
    }
    // The longest reading of either syntax; any other %X is an escape.
    size_t end = std::min(i + 2, text.size());
    size_t conversion_end = 0;
    PrintfArguments ignored;
    if (read_conversion(text, i, &conversion_end, &ignored)) {
      end = std::max(end, conversion_end);
    }
    FormatInsert insert;
    size_t insert_end = 0;
    if (read_insert(text, i, &insert_end, &insert)) {
      end = std::max(end, insert_end);
    }
    spans.push_back(UnitSpan{i, end});
    i = end;
  }
  return spans;
}

}  // namespace uitrans
