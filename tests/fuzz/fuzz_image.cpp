// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes as an executable image, rebuilt and laid
// out in memory (nothing touches the disk).
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::check_image_input(data, size);
  return 0;
}
