// SPDX-License-Identifier: MIT
#include "driver/list_file.h"

#include <utility>

namespace uitrans {

bool has_catalogue_name(const platform::NativeString& path) {
  size_t size = path.size();
  return size >= 3 && path[size - 3] == '.' && path[size - 2] == 'p' &&
         path[size - 1] == 'o';
}

ListLoadStatus load_replacement_list(const platform::NativeString& path,
                                     ReplacementTable* table,
                                     CatalogueProblem* problem) {
  // A pipe or /dev/stdin is read to its end like a file.
  platform::FileBytes bytes;
  if (!platform::read_whole_file(path, kListSpareBytes, &bytes)) {
    return ListLoadStatus::cannot_open;
  }
  // The list is parsed in the buffer it was read into.
  table->prepare_memory = platform::prefer_large_pages;
  ListBuffer buffer{std::move(bytes.storage), bytes.size};
  return parse_list_file_in_place(std::move(buffer), has_catalogue_name(path),
                                  table, problem);
}

}  // namespace uitrans
