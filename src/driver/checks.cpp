// SPDX-License-Identifier: MIT
#include "driver/checks.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "common/unicode.h"
#include "replace/placeholders.h"

namespace uitrans {

namespace {

bool is_menu(const TextRecord& record) {
  return record.place == TextPlace::menu_item;
}

// Texts a user reaches by a mnemonic: menu items and controls.
bool takes_mnemonic(const TextRecord& record) {
  return is_menu(record) || record.place == TextPlace::control_title;
}

// A menu item's text up to its tab: what follows is the shortcut column.
std::u16string head_of(const TextRecord& record, const std::u16string& text) {
  return is_menu(record) ? text.substr(0, text.find(u'\t')) : text;
}

bool has_tab(const TextRecord& record, const std::u16string& text) {
  return is_menu(record) && text.find(u'\t') != std::u16string::npos;
}

struct Mnemonics {
  uint32_t count = 0;
  char16_t first = 0;  // the letter after the first single &
};

// "&&" shows one ampersand; a single & marks the letter after it.
Mnemonics mnemonics_of(const std::u16string& text) {
  Mnemonics found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] != u'&') {
      if (found.count++ == 0) found.first = text[i + 1];
    }
    ++i;
  }
  return found;
}

// Case folding of the scripts mnemonics are commonly written in.
char16_t folded(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
      (c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  return c;
}

bool is_blank(char16_t c) { return c == u' ' || c == 0xA0 || c == 0x3000; }

enum class Ending { none, ellipsis, colon, stop };

Ending ending_of(const std::u16string& text) {
  size_t end = text.size();
  while (end > 0 && is_blank(text[end - 1])) --end;
  std::u16string_view body(text.data(), end);
  if (body.ends_with(u"...") || body.ends_with(u"\u2026")) {
    return Ending::ellipsis;
  }
  if (body.ends_with(u":") || body.ends_with(u"\uFF1A")) return Ending::colon;
  if (body.ends_with(u".") || body.ends_with(u"\u3002")) return Ending::stop;
  return Ending::none;
}

const char* ending_name(Ending ending) {
  switch (ending) {
    case Ending::ellipsis:
      return "an ellipsis";
    case Ending::colon:
      return "a colon";
    case Ending::stop:
      return "a full stop";
    case Ending::none:
      break;
  }
  return "no punctuation";
}

std::u16string leading_blanks(const std::u16string& text) {
  size_t n = 0;
  while (n < text.size() && is_blank(text[n])) ++n;
  return text.substr(0, n);
}

std::u16string trailing_blanks(const std::u16string& text) {
  size_t n = text.size();
  while (n > 0 && is_blank(text[n - 1])) --n;
  return text.substr(n);
}

// A CR LF pair is one line break, as a lone LF or CR is.
size_t line_breaks(const std::u16string& text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') ++count;
    if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) {
      ++count;
    }
  }
  return count;
}

std::string letter(char16_t c) { return utf8_of(std::u16string(1, c)); }

struct Findings {
  size_t record = 0;
  std::vector<Finding>* out = nullptr;
  void add(const char* check, std::string explanation) const {
    out->push_back(Finding{record, check, std::move(explanation)});
  }
};

void check_mnemonic(const TextRecord& record, const Findings& findings) {
  if (!takes_mnemonic(record)) return;
  Mnemonics source = mnemonics_of(head_of(record, record.before));
  Mnemonics translation = mnemonics_of(head_of(record, record.after));
  if (source.count == 1 && translation.count == 0) {
    findings.add("mnemonic-lost", "the source's mnemonic &" +
                                      letter(source.first) +
                                      " has no counterpart");
  } else if (source.count == 0 && translation.count == 1) {
    findings.add("mnemonic-added", "the translation has a mnemonic &" +
                                       letter(translation.first) +
                                       ", the source none");
  }
}

void check_tab(const TextRecord& record, const Findings& findings) {
  bool source = has_tab(record, record.before);
  bool translation = has_tab(record, record.after);
  if (source && !translation) {
    findings.add("tab-lost", "the shortcut after the tab is gone");
  } else if (!source && translation) {
    findings.add("tab-added", "the translation has a tab, the source none");
  }
}

void check_placeholders(const TextRecord& record, const Findings& findings) {
  bool message = record.place == TextPlace::message;
  if (!message && record.place != TextPlace::string) return;
  PlaceholderVerdict verdict =
      compare_placeholders(message ? PlaceholderSyntax::inserts
                                   : PlaceholderSyntax::printf_and_inserts,
                           record.before, record.after);
  if (verdict == PlaceholderVerdict::differs) {
    findings.add("placeholders",
                 "not applied: its placeholders differ from the source's");
  } else if (verdict == PlaceholderVerdict::dropped) {
    findings.add("placeholder-dropped",
                 "the translation leaves out a placeholder of the source");
  }
}

void check_ending(const TextRecord& record, const Findings& findings) {
  Ending source = ending_of(head_of(record, record.before));
  Ending translation = ending_of(head_of(record, record.after));
  if (source == translation) return;
  findings.add("ending", std::string("the source ends in ") +
                             ending_name(source) + ", the translation in " +
                             ending_name(translation));
}

void check_space(const TextRecord& record, const Findings& findings) {
  std::u16string source = head_of(record, record.before);
  std::u16string translation = head_of(record, record.after);
  if (leading_blanks(source) != leading_blanks(translation)) {
    findings.add("space", "the leading blanks differ");
  } else if (trailing_blanks(source) != trailing_blanks(translation)) {
    findings.add("space", "the trailing blanks differ");
  }
}

void check_line_breaks(const TextRecord& record, const Findings& findings) {
  size_t source = line_breaks(record.before);
  size_t translation = line_breaks(record.after);
  if (source == translation) return;
  findings.add("line-breaks", std::to_string(translation) +
                                  " line breaks, the source has " +
                                  std::to_string(source));
}

// The texts whose mnemonics must differ: the items of one menu level
// (the bar, or the items between a pop-up's opening and its closing), or
// the controls of one dialog. Records of one resource come one after the
// other, in template order. -1 for a text of no group.
std::vector<int64_t> mnemonic_groups(const std::vector<TextRecord>& records) {
  std::vector<int64_t> groups(records.size(), -1);
  std::vector<int64_t> open;  // per menu level: its current group
  const TextRecord* resource = nullptr;
  int64_t next_group = 0;
  int64_t dialog_group = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    const TextRecord& record = records[i];
    bool same =
        resource != nullptr &&
        std::equal(record.path, record.path + kPathLevels, resource->path);
    if (!same) {
      open.clear();
      dialog_group = next_group++;
      resource = &record;
    }
    if (record.place == TextPlace::control_title) {
      groups[i] = dialog_group;
    } else if (is_menu(record) && !record.place_name.starts_with("unit ")) {
      // A level deeper than the last item's is a pop-up's opening.
      if (record.menu_level >= open.size()) {
        open.resize(record.menu_level + 1, -1);
        open[record.menu_level] = next_group++;
      } else {
        open.resize(record.menu_level + 1);
      }
      groups[i] = open[record.menu_level];
    }
  }
  return groups;
}

const std::u16string& translated(const TextRecord& record) {
  return record.replaced ? record.after : record.before;
}

char16_t mnemonic_letter(const TextRecord& record, const std::u16string& text) {
  Mnemonics found = mnemonics_of(head_of(record, text));
  return found.count == 0 ? char16_t{0} : folded(found.first);
}

// A clash is named once, at the later of the two texts.
void check_clashes(const std::vector<TextRecord>& records,
                   std::vector<Finding>* out) {
  std::vector<int64_t> groups = mnemonic_groups(records);
  std::map<int64_t, std::vector<size_t>> members;
  for (size_t i = 0; i < records.size(); ++i) {
    if (groups[i] < 0) continue;
    const TextRecord& record = records[i];
    char16_t now = mnemonic_letter(record, translated(record));
    for (size_t other : members[groups[i]]) {
      const TextRecord& earlier = records[other];
      if (now == 0 || now != mnemonic_letter(earlier, translated(earlier))) {
        continue;
      }
      if (mnemonic_letter(record, record.before) ==
          mnemonic_letter(earlier, earlier.before)) {
        continue;
      }
      out->push_back(Finding{i, "mnemonic-clash",
                             "&" + letter(now) + " is also the mnemonic of " +
                                 earlier.place_name});
      break;
    }
    members[groups[i]].push_back(i);
  }
}

}  // namespace

std::vector<Finding> check_records(const std::vector<TextRecord>& records) {
  std::vector<Finding> text_findings;
  for (size_t i = 0; i < records.size(); ++i) {
    const TextRecord& record = records[i];
    if (record.place == TextPlace::typeface) continue;
    Findings findings{i, &text_findings};
    if (record.refused) {
      check_placeholders(record, findings);
      continue;
    }
    if (!record.replaced) continue;
    check_mnemonic(record, findings);
    check_tab(record, findings);
    check_placeholders(record, findings);
    check_ending(record, findings);
    check_space(record, findings);
    check_line_breaks(record, findings);
  }
  check_clashes(records, &text_findings);
  // In record order; a text's own findings before its clash.
  std::stable_sort(
      text_findings.begin(), text_findings.end(),
      [](const Finding& a, const Finding& b) { return a.record < b.record; });
  return text_findings;
}

}  // namespace uitrans
