// The run: command-line checks, the replacement list, and the pipeline for
// each executable (load and validate, rebuild, output).
#pragma once

#include <vector>

#include "platform/file_ops.h"
#include "replace/replacement_table.h"

namespace uitrans {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitListUnreadable = 2;

// Runs uitrans on its command line (arguments[0] is the program name) and
// returns the exit status.
int run_uitrans(const std::vector<platform::NativeString>& arguments);

// Translates one executable; prints exactly the messages for it.
void process_executable(const platform::NativeString& name,
                        const ReplacementTable& table);

}  // namespace uitrans
