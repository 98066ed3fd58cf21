// SPDX-License-Identifier: MIT
// The command line: long options first, then the operands of the command.
//
//   uitrans [OPTIONS] [-s] LIST EXE...     translate
//   uitrans --extract [--po] [-o FILE] EXE...
//   uitrans --help | --version
#pragma once

#include <string>
#include <vector>

#include "platform/file_ops.h"

namespace uitrans {

struct Options {
  bool help = false;
  bool version = false;
  bool extract = false;
  bool po = false;
  bool dry_run = false;
  bool string_tables = false;
  bool has_output = false;
  platform::NativeString output_path;  // -o / --output, with --extract
  bool has_report = false;
  platform::NativeString report_path;
  // What follows the options: [-s] LIST EXE... or, extracting, EXE...
  // The program name stays in front, so a run without options sees exactly
  // the arguments it always saw.
  std::vector<platform::NativeString> operands;
};

// Reads the options. False for a usage error, described in *error (ASCII,
// without a line end).
bool parse_options(const std::vector<platform::NativeString>& arguments,
                   Options* options, std::string* error);

// The short usage `--help` prints on standard output.
void print_usage();

}  // namespace uitrans
