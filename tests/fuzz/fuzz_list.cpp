// SPDX-License-Identifier: MIT
// libFuzzer target: list files.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::check_list_input(data, size);
  return 0;
}
