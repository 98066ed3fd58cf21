// SPDX-License-Identifier: MIT
// The run: command-line checks, the replacement list, and the pipeline for
// each executable (load and validate, the side file, rebuild, output).
#pragma once

#include <vector>

#include "image/image_file.h"
#include "image/image_info.h"
#include "platform/file_ops.h"
#include "replace/replacement_table.h"
#include "resources/resource_kinds.h"

namespace uitrans {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitListUnreadable = 2;
// Extraction: some executable could not be read or is not valid.
inline constexpr int kExitExtractFailed = 3;
// A run with checks: some translation was refused or warned of.
inline constexpr int kExitCheckWarnings = 4;

// Runs uitrans on its command line (arguments[0] is the program name) and
// returns the exit status.
int run_uitrans(const std::vector<platform::NativeString>& arguments);

// Loads and validates an executable. The outcome names what ended it; an
// image without a resource section ends with no_resource_section.
Outcome load_and_validate(const platform::NativeString& name,
                          ImageBuffer* image, ImageInfo* info);

struct Report;       // report.h
struct PreviewPage;  // preview.h

// How a translation run goes beyond writing the translated executables.
struct RunSettings {
  bool dry_run = false;  // stop before the backup; write nothing
  KindSelection kinds;   // translate these kinds (and languages) too
  // Add the translated copies in this language beside the originals.
  bool add_language = false;
  uint16_t added_language = 0;
  Report* report = nullptr;  // collect what was looked up and replaced
  bool check = false;        // check the translations made
  // Refusals and findings of checks so far, over the run (a run with
  // checks counts them here).
  uint32_t* warnings = nullptr;
  bool fit = false;                // widen dialog controls for their texts
  PreviewPage* preview = nullptr;  // draw the dialogs and menus changed
  // The executables of the run and the programs it wrote, which the side
  // file never replaces; each program written is added.
  std::vector<platform::FileIdentity>* executables = nullptr;
};

// Translates one executable; prints exactly the messages for it.
void process_executable(const platform::NativeString& name,
                        const ReplacementTable& table,
                        const RunSettings& settings);

}  // namespace uitrans
