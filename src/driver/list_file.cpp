// SPDX-License-Identifier: MIT
#include "driver/list_file.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "resources/resource_kinds.h"

namespace uitrans {

bool has_catalogue_name(const platform::NativeString& path) {
  size_t size = path.size();
  return size >= 3 && path[size - 3] == '.' && path[size - 2] == 'p' &&
         path[size - 1] == 'o';
}

namespace {

Message catalogue_message(CatalogueError error) {
  switch (error) {
    case CatalogueError::invalid_utf8:
      return Message::po_invalid_utf8;
    case CatalogueError::invalid_escape:
      return Message::po_invalid_escape;
    case CatalogueError::foreign_charset:
      return Message::po_foreign_charset;
    case CatalogueError::invalid_context:
      return Message::po_invalid_context;
    default:
      return Message::po_syntax_error;
  }
}

// A type is named by the label of a kind ("MENU") or by its number, as
// references name it.
bool names_a_type(const std::string& label) {
  if (!label.empty() && std::all_of(label.begin(), label.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) {
    return true;
  }
  for (const ResourceKind& kind : resource_kinds()) {
    std::string_view known = kind.label;
    if (known.size() == label.size() &&
        std::equal(
            known.begin(), known.end(), label.begin(), [](char a, char b) {
              return a ==
                     (b >= 'a' && b <= 'z' ? static_cast<char>(b - 32) : b);
            })) {
      return true;
    }
  }
  return false;
}

// The line of the first context whose type no place has, or 0.
uint32_t line_of_unknown_type(const ReplacementTable& table) {
  for (const EntryContext& context : table.contexts) {
    if (!names_a_type(context.parts[0])) return context.line;
  }
  return 0;
}

}  // namespace

Outcome load_replacement_list(const platform::NativeString& path,
                              ReplacementTable* table) {
  // A pipe or /dev/stdin is read to its end like a file.
  platform::FileBytes bytes;
  if (!platform::read_whole_file(path, kListSpareBytes, &bytes)) {
    return fail(Message::cannot_open_list);
  }
  // The list is parsed in the buffer it was read into.
  table->prepare_memory = platform::prefer_large_pages;
  ListBuffer buffer{std::move(bytes.storage), bytes.size};
  CatalogueProblem problem;
  ListLoadStatus status = parse_list_file_in_place(
      std::move(buffer), has_catalogue_name(path), table, &problem);
  if (status == ListLoadStatus::not_unicode) return fail(Message::not_unicode);
  if (status == ListLoadStatus::catalogue_refused) {
    return fail(catalogue_message(problem.error), InvalidReason::none,
                problem.line);
  }
  uint32_t unknown = line_of_unknown_type(*table);
  if (unknown != 0) {
    return fail(Message::po_invalid_context, InvalidReason::none, unknown);
  }
  return Outcome{};
}

}  // namespace uitrans
