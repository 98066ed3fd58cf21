// SPDX-License-Identifier: MIT
#include "driver/list_file.h"

#include <utility>

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
    default:
      return Message::po_syntax_error;
  }
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
  return Outcome{};
}

}  // namespace uitrans
