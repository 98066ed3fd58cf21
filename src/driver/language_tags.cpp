// SPDX-License-Identifier: MIT
#include "driver/language_tags.h"

#include <algorithm>
#include <string>

namespace uitrans {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lower_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One to four hexadecimal digits, with or without 0x: language ids are
// written that way in resource scripts and in the tool's own references.
bool read_hex_id(std::string_view text, uint16_t* id) {
  if (text.size() > 2 && text[0] == '0' && lower(text[1]) == 'x') {
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 4) return false;
  uint32_t value = 0;
  for (char c : text) {
    int digit = hex_digit(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *id = static_cast<uint16_t>(value);
  return true;
}

bool read_tag(std::string_view text, uint16_t* id) {
  std::string key = lower_case(text);
  const LanguageTag* end = kLanguageTags + kLanguageTagCount;
  const LanguageTag* found =
      std::lower_bound(kLanguageTags, end, key,
                       [](const LanguageTag& tag, const std::string& k) {
                         return lower_case(tag.tag) < k;
                       });
  if (found == end || lower_case(found->tag) != key) return false;
  *id = found->id;
  return true;
}

}  // namespace

bool read_language(std::string_view text, uint16_t* id) {
  if (lower_case(text) == "neutral") {
    *id = 0;
    return true;
  }
  // Tags first: a few are hexadecimal digits too ("ff" is Fulah, not 00FF).
  return read_tag(text, id) || read_hex_id(text, id);
}

bool read_language_list(std::string_view text, std::vector<uint16_t>* ids,
                        std::string* unknown) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = std::min(text.find(',', start), text.size());
    std::string_view name = text.substr(start, comma - start);
    uint16_t id = 0;
    if (!read_language(name, &id)) {
      *unknown = std::string(name);
      return false;
    }
    if (std::find(ids->begin(), ids->end(), id) == ids->end()) {
      ids->push_back(id);
    }
    start = comma + 1;
  }
  return true;
}

}  // namespace uitrans
