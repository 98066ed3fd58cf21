// Reading the list file named on the command line.
#pragma once

#include "platform/file_ops.h"
#include "replace/replacement_table.h"

namespace uitrans {

// Reads and parses the list file at `path`. A file that cannot be opened or
// read completely gives cannot_open.
ListLoadStatus load_replacement_list(const platform::NativeString& path,
                                     ReplacementTable* table);

}  // namespace uitrans
