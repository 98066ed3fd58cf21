// SPDX-License-Identifier: MIT
#include "replace/entry_context.h"

#include <string>
#include <unordered_map>

#include "replace/replacement_table.h"

namespace uitrans {

bool parse_entry_context(std::string_view text, EntryContext* context) {
  *context = EntryContext{};
  // Place names hold no colon, so the last one ends a file name.
  size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    context->file = std::string(text.substr(0, colon));
    if (context->file.empty()) return false;
    text.remove_prefix(colon + 1);
  }
  while (context->parts.size() + 1 < kPlaceParts) {
    size_t slash = text.find('/');
    if (slash == std::string_view::npos) break;
    context->parts.emplace_back(text.substr(0, slash));
    text.remove_prefix(slash + 1);
  }
  context->parts.emplace_back(text);
  for (const std::string& part : context->parts) {
    if (part.empty()) return false;
  }
  return true;
}

namespace {

// Type labels ("MENU") and language ids ("040C") read alike in either case.
bool same_part(std::string_view a, std::string_view b, uint32_t index) {
  if (index != 0 && index != 2) return a == b;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// An entry without a context applies everywhere, least specifically.
constexpr uint32_t kAnyPlace = 1;

}  // namespace

uint32_t context_match(const EntryContext& context, const PlaceName& place) {
  if (!context.file.empty() && context.file != place.file &&
      context.file != place.own_file) {
    return 0;
  }
  for (uint32_t i = 0; i < context.parts.size() && i < kPlaceParts; ++i) {
    if (!same_part(context.parts[i], place.parts[i], i)) return 0;
  }
  return kAnyPlace + 2 * static_cast<uint32_t>(context.parts.size()) +
         (context.file.empty() ? 0 : 1);
}

uint32_t entry_at_place(const ReplacementTable& table, uint32_t entry,
                        const PlaceName& place) {
  uint32_t best = kNoEntry;
  uint32_t best_score = 0;
  for (uint32_t at = entry; at != kNoEntry; at = table.next_variant[at]) {
    uint32_t context = table.entry_context[at];
    uint32_t score = context == kNoEntry
                         ? kAnyPlace
                         : context_match(table.contexts[context], place);
    if (score > best_score) {
      best = at;
      best_score = score;
    }
  }
  return best;
}

void link_variants(ReplacementTable* table) {
  const std::vector<ReplacementEntry>& entries = table->entries;
  table->next_variant.assign(entries.size(), kNoEntry);
  std::unordered_map<std::u16string_view, uint32_t> last;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    std::u16string_view text(entries[i].find, entries[i].find_length);
    auto [at, fresh] = last.emplace(text, i);
    if (!fresh) {
      table->next_variant[at->second] = i;
      at->second = i;
    }
  }
}

}  // namespace uitrans
