// SPDX-License-Identifier: MIT
#include "replace/pseudo.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include "replace/placeholders.h"

namespace uitrans {

namespace {

// One accented look-alike per letter, each a single unit of the BMP. Where
// a letter has several, the one every dialog typeface draws (wine's Tahoma
// has little beyond Latin-1 and part of Latin Extended-A, the raster MS Sans
// Serif less); the look-alikes of b j k m q v w x and B F J K M Q V W X are
// not in wine's Tahoma, which draws them as boxes.
constexpr std::u16string_view kSmall = u"áƀçðéƒğĥíĵķĺṁñöþǫŕšţüṽŵẋýž";
constexpr std::u16string_view kCapital = u"ÅƁÇĐÉƑĞĤÎĴĶĹṀÑÖÞǪŔŠŢÛṼŴẊÝŽ";

char16_t accented(char16_t c) {
  if (c >= u'a' && c <= u'z') return kSmall[c - u'a'];
  if (c >= u'A' && c <= u'Z') return kCapital[c - u'A'];
  return c;
}

bool is_blank(char16_t c) { return c == u' ' || c == 0xA0 || c == 0x3000; }

// Translations run longer than their sources, short ones by far the most.
size_t growth(size_t length) {
  size_t percent = length <= 10   ? 100
                   : length <= 20 ? 80
                   : length <= 30 ? 60
                   : length <= 50 ? 40
                                  : 30;
  return (length * percent + 99) / 100;
}

// Where the body of `head` (what a translation rewrites) ends: before the
// trailing blanks, the final ellipsis, colon or full stop, and a lone final &
// (which marks no letter and would mark the filler).
size_t body_end(std::u16string_view head, size_t start) {
  size_t end = head.size();
  while (end > start && is_blank(head[end - 1])) --end;
  std::u16string_view body = head.substr(start, end - start);
  if (body.ends_with(u"...")) {
    end -= 3;
  } else if (body.ends_with(u"\u2026") || body.ends_with(u":") ||
             body.ends_with(u"\uFF1A") || body.ends_with(u".") ||
             body.ends_with(u"\u3002")) {
    end -= 1;
  }
  size_t ampersands = 0;
  while (ampersands < end - start && head[end - 1 - ampersands] == u'&') {
    ++ampersands;
  }
  return ampersands % 2 == 1 ? end - 1 : end;
}

// The body with its letters replaced; placeholders and a mnemonic's letter
// stay as they are.
std::u16string accent_body(const std::u16string& body) {
  std::vector<UnitSpan> spans = placeholder_spans(body);
  std::u16string out;
  size_t next_span = 0;
  for (size_t i = 0; i < body.size();) {
    if (next_span < spans.size() && spans[next_span].start == i) {
      out.append(body, i, spans[next_span].end - i);
      i = spans[next_span++].end;
    } else if (body[i] == u'&' && i + 1 < body.size()) {
      out.append(body, i, 2);
      i += 2;
    } else {
      out.push_back(accented(body[i++]));
    }
  }
  return out;
}

}  // namespace

std::u16string pseudo_translation(const std::u16string& text, bool menu_item) {
  size_t tab = menu_item ? text.find(u'\t') : std::u16string::npos;
  std::u16string_view whole(text);
  std::u16string_view head = whole.substr(0, tab);
  std::u16string_view shortcut =
      tab == std::u16string::npos ? std::u16string_view() : whole.substr(tab);
  size_t start = 0;
  while (start < head.size() && is_blank(head[start])) ++start;
  size_t end = body_end(head, start);
  std::u16string body(head.substr(start, end - start));
  size_t extra = growth(body.size());
  std::u16string out(head.substr(0, start));
  out += u'[';
  out += accent_body(body);
  out.append(extra > 2 ? extra - 2 : 0, u'~');  // the brackets count
  out += u']';
  out += head.substr(end);
  out += shortcut;
  return out;
}

}  // namespace uitrans
