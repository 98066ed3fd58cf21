// SPDX-License-Identifier: MIT
#include "resources/resource_kinds.h"

#include <algorithm>

#include "image/pe_format.h"

namespace uitrans {

namespace {

uint64_t bytes_of(uint32_t size) { return size; }

// A menu is read unit by unit: an odd Size takes in one more byte.
uint64_t whole_units_of(uint32_t size) {
  return 2 * ((uint64_t{size} + 1) / 2);
}

}  // namespace

const std::vector<ResourceKind>& resource_kinds() {
  static const std::vector<ResourceKind> kKinds = {
      {pe::kResourceTypeMenu, "MENU", nullptr, nullptr, whole_units_of,
       rewrite_menu, extract_menu},
      {pe::kResourceTypeDialog, "DIALOG", nullptr, nullptr, bytes_of,
       rewrite_dialog, extract_dialog},
      {pe::kResourceTypeString, "STRING", "--string-tables",
       &KindSelection::string_tables, bytes_of, rewrite_string_block,
       extract_string_block},
      {pe::kResourceTypeMessageTable, "MESSAGETABLE", "--message-tables",
       &KindSelection::message_tables, bytes_of, rewrite_message_table,
       extract_message_table},
      {pe::kResourceTypeVersion, "VERSION", "--version-info",
       &KindSelection::version_info, bytes_of, rewrite_version_info,
       extract_version_info},
  };
  return kKinds;
}

const ResourceKind* kind_of_type(uint32_t type) {
  for (const ResourceKind& kind : resource_kinds()) {
    if (kind.type == type) return &kind;
  }
  return nullptr;
}

const ResourceKind* enabled_kind(uint32_t type, const KindSelection& kinds) {
  const ResourceKind* kind = kind_of_type(type);
  if (kind == nullptr ||
      (kind->enabled != nullptr && !(kinds.*kind->enabled))) {
    return nullptr;
  }
  return kind;
}

const ResourceKind* kind_for_item(const uint32_t* path,
                                  const KindSelection& kinds) {
  const std::vector<uint16_t>& languages = kinds.languages;
  if (!languages.empty() && std::find(languages.begin(), languages.end(),
                                      path[2]) == languages.end()) {
    return nullptr;
  }
  return enabled_kind(path[0], kinds);
}

}  // namespace uitrans
