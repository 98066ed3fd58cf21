// SPDX-License-Identifier: MIT
// uitrans [-s] LIST EXE...
#include <vector>

#include "driver/pipeline.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  std::vector<uitrans::platform::NativeString> arguments(argv, argv + argc);
  int status = uitrans::run_uitrans(arguments);
  uitrans::platform::flush_output();
  return status;
}
