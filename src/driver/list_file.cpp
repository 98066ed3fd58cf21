#include "driver/list_file.h"

#include <memory>
#include <new>

namespace uitrans {

bool has_catalogue_name(const platform::NativeString& path) {
  size_t size = path.size();
  return size >= 3 && path[size - 3] == '.' && path[size - 2] == 'p' &&
         path[size - 1] == 'o';
}

ListLoadStatus load_replacement_list(const platform::NativeString& path,
                                     ReplacementTable* table,
                                     CatalogueProblem* problem) {
  platform::FileHandle file;
  if (!platform::open_for_reading(path, &file)) {
    return ListLoadStatus::cannot_open;
  }
  uint64_t size = 0;
  bool ok = platform::query_file_size(file, &size) && size < SIZE_MAX / 2;
  std::unique_ptr<uint8_t[]> bytes;
  if (ok) {
    bytes.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    ok = bytes != nullptr &&
         platform::read_exact(file, bytes.get(), static_cast<size_t>(size));
  }
  platform::close_file(&file);
  if (!ok) return ListLoadStatus::cannot_open;
  return parse_list_file(ByteSpan{bytes.get(), static_cast<size_t>(size)},
                         has_catalogue_name(path), table, problem);
}

}  // namespace uitrans
