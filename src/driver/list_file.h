// SPDX-License-Identifier: MIT
// Reading the list file named on the command line.
#pragma once

#include "common/outcome.h"
#include "platform/file_ops.h"
#include "replace/replacement_table.h"

namespace uitrans {

// True when a file of this name is read as a gettext catalogue if it has no
// UTF-16 byte-order mark: the name ends in ".po".
bool has_catalogue_name(const platform::NativeString& path);

// Reads the list file at `path` and parses it with the reader its start and
// name call for (parse_list_file). It ends with cannot_open_list for a file
// that cannot be opened or read completely, not_unicode, or one of the po_
// messages (with the line) for a catalogue that cannot be read.
Outcome load_replacement_list(const platform::NativeString& path,
                              ReplacementTable* table);

}  // namespace uitrans
