// SPDX-License-Identifier: MIT
// The placeholders of a text that a program fills in at run time, and
// whether a translation keeps them. A translation that changes them would
// make the program read its arguments wrongly (or crash), so it is not
// applied; one that only drops some is applied and warned about.
//
// Two syntaxes:
//   printf conversions: %[flags][width][.precision][length]type, where a
//     `*` width or precision takes an argument too; %% is no conversion.
//     A positional form (%1$s) counts as a plain conversion in its order.
//   FormatMessage inserts: %1 to %99, each with an optional !format!
//     (none means !s!); %0 %n %t %b %r %. %! %% and other escapes are no
//     inserts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace uitrans {

// What a conversion takes from the argument list: the length modifier and
// the type, d and i written as d ("ld", "s", "ls"); "*" for a `*` width or
// precision.
using PrintfArguments = std::vector<std::u16string>;

PrintfArguments printf_arguments(const std::u16string& text);

struct FormatInsert {
  uint32_t number = 0;    // 1 to 99
  std::u16string format;  // between the exclamation marks; "s" when none
};

std::vector<FormatInsert> format_inserts(const std::u16string& text);

enum class PlaceholderVerdict {
  same,     // the translation's placeholders are the source's
  dropped,  // the translation leaves some out, and is otherwise the same
  differs,  // the translation would be filled in wrongly: refused
};

// printf: the translation must take the same arguments in the same order;
// taking only the first of them is `dropped` (the rest are never read).
PlaceholderVerdict compare_printf(const std::u16string& source,
                                  const std::u16string& translation);

// Inserts may be reordered or repeated, but every insert of the
// translation needs the number and the format the source gives it; fewer
// distinct numbers than the source's is `dropped`.
PlaceholderVerdict compare_inserts(const std::u16string& source,
                                   const std::u16string& translation);

// The syntaxes a kind of text uses.
enum class PlaceholderSyntax {
  inserts,  // message tables: FormatMessage
  // string tables: printf conversions, and inserts as well when the source
  // holds any (a string may be passed to FormatMessage)
  printf_and_inserts,
};

// The worse of the verdicts of the syntaxes that apply.
PlaceholderVerdict compare_placeholders(PlaceholderSyntax syntax,
                                        const std::u16string& source,
                                        const std::u16string& translation);

// Where placeholders of either syntax, and %% , lie in `text`: [start, end)
// pairs in order, so that a rewrite of the text can leave them alone.
struct UnitSpan {
  size_t start = 0;
  size_t end = 0;
};

std::vector<UnitSpan> placeholder_spans(const std::u16string& text);

}  // namespace uitrans
