// SPDX-License-Identifier: MIT
#include "replace/entry_context.h"

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

}  // namespace uitrans
