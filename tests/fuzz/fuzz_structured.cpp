// SPDX-License-Identifier: MIT
// libFuzzer target: recipes for well-formed images with menus and dialogs,
// optionally damaged, so that mutations land inside the templates.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::check_structured_input(data, size);
  return 0;
}
