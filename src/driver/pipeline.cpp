// SPDX-License-Identifier: MIT
#include "driver/pipeline.h"

#include <algorithm>

#include "driver/extract_command.h"
#include "driver/list_file.h"
#include "driver/messages.h"
#include "driver/options.h"
#include "driver/report.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "image/output.h"
#include "resources/rebuild.h"
#include "uitrans_version.h"

namespace uitrans {

namespace {

using platform::NativeString;

bool is_switch(const NativeString& argument) {
  return argument.size() == 2 && argument[0] == '-' &&
         (argument[1] == 's' || argument[1] == 'S');
}

NativeString side_file_name() {
#ifdef _WIN32
  return L"out.txt";
#else
  return "out.txt";
#endif
}

// One line naming the catalogue, the line and what is wrong there.
void print_catalogue_problem(const CatalogueProblem& problem,
                             const NativeString& list_name) {
  Message message = Message::po_syntax_error;
  if (problem.error == CatalogueError::invalid_utf8) {
    message = Message::po_invalid_utf8;
  } else if (problem.error == CatalogueError::invalid_escape) {
    message = Message::po_invalid_escape;
  } else if (problem.error == CatalogueError::foreign_charset) {
    message = Message::po_foreign_charset;
  }
  auto line = static_cast<int32_t>(std::min<uint32_t>(problem.line, INT32_MAX));
  print_message(message, line, list_name);
}

// The rebuild stage; false when the executable is done with (message given).
// A file that shrank while it was mapped was not read whole.
bool image_intact(const NativeString& name) {
  if (!platform::mapping_lost_pages()) return true;
  print_message(Message::error_reading, name);
  return false;
}

bool rebuild(const NativeString& name, ImageBuffer* image,
             const ImageInfo& info, const ReplacementTable& table,
             const RunSettings& settings, RebuildOutput* output,
             RewriteLog* log, RebuildResult* result) {
  // A side file that holds just a UTF-16 byte-order mark; nothing needs it,
  // so failing to create it is of no consequence. A dry run writes nothing.
  // It never overwrites an executable of the run, whatever name or link
  // leads to it.
  static const uint8_t kMark[2] = {0xFF, 0xFE};
  if (!settings.dry_run) {
    static const std::vector<platform::FileIdentity> kNone;
    platform::write_side_file(
        side_file_name(), kMark, sizeof kMark,
        settings.executables != nullptr ? *settings.executables : kNone);
  }

  RebuildOptions options;
  options.string_tables = settings.string_tables;
  options.log = log;
  options.reference_unchanged = true;
  if (image->mapped()) options.release_pages = platform::release_clean_pages;
  *result = rebuild_resources(image->data.get(), image->size, info, table,
                              output, options);
  if (!image_intact(name)) {
    result->status = RebuildStatus::invalid_image;
    return false;
  }
  switch (result->status) {
    case RebuildStatus::ok:
      break;
    case RebuildStatus::invalid_image:
      print_message(Message::not_valid, name);
      return false;
    case RebuildStatus::out_of_memory:
      print_message(Message::out_of_memory, name);
      return false;
  }
  if (result->replaced_count == 0) {
    print_message(Message::no_strings_found, name);
    return false;
  }
  return true;
}

// The output stage: backup, then the new image written beside the output
// name and moved onto it. Whatever fails, the files keep what they held.
// True when the new image was written.
bool write_rebuilt(const NativeString& name, const OutputImage& layout,
                   int32_t replaced_count,
                   std::vector<platform::FileIdentity>* executables) {
  BackupPlan plan = plan_backup(name);
  if (!make_backup(&plan)) {
    print_message(Message::cannot_backup, name);
    return false;
  }
  PendingOutput pending;
  if (!open_output(plan, &pending)) {
    print_message(Message::cannot_open_for_writing, plan.output_name);
    undo_backup(&plan);
    return false;
  }
  print_message(Message::strings_replaced, replaced_count, plan.output_name);
  if (layout.grown) print_message(Message::resized_warning, plan.output_name);
  if (!write_output(layout, plan, &pending)) {
    print_message(Message::error_writing, plan.output_name);
    undo_backup(&plan);
    return false;
  }
  if (executables != nullptr) executables->push_back(pending.written);
  return true;
}

// A dry run stops before the backup: it prints what a run that writes
// would print up to there.
bool finish_dry_run(const NativeString& name, const OutputImage& layout,
                    int32_t replaced_count) {
  BackupPlan plan = plan_backup(name);
  print_message(Message::strings_replaced, replaced_count, plan.output_name);
  if (layout.grown) print_message(Message::resized_warning, plan.output_name);
  return true;
}

// The data area as pieces: items in the output buffer or, kept unchanged,
// in the image, each followed by its zero padding.
DataArea data_area_of(const ImageBuffer& image, const RebuildOutput& output) {
  DataArea area;
  area.size = output.area_size;
  if (!output.referenced) {
    area.pieces.push_back(WriteChunk{output.data, output.used});
    return area;
  }
  for (const AreaPiece& piece : output.pieces) {
    const uint8_t* base = piece.in_image ? image.data.get() : output.data;
    area.pieces.push_back(WriteChunk{base + piece.offset, piece.size});
    uint32_t padding =
        static_cast<uint32_t>(align_up(piece.size, 16)) - piece.size;
    if (padding > 0) area.pieces.push_back(WriteChunk{nullptr, padding});
  }
  return area;
}

// Lays out and writes (or, dry, only lays out) the rebuilt image.
bool output_stage(const NativeString& name, ImageBuffer* image,
                  const ImageInfo& info, const RebuildResult& result,
                  const RebuildOutput& output, const RunSettings& settings) {
  OutputImage layout;
  ComposeStatus composed = compose_output(
      image, info, result.prefix_size, data_area_of(*image, output), &layout);
  if (!image_intact(name)) return false;
  switch (composed) {
    case ComposeStatus::ok:
      break;
    case ComposeStatus::cannot_grow:
      print_message(Message::cannot_grow, name);
      return false;
    case ComposeStatus::too_large:
      print_message(Message::out_of_memory, name);
      return false;
  }
  if (settings.dry_run) {
    return finish_dry_run(name, layout, result.replaced_count);
  }
  return write_rebuilt(name, layout, result.replaced_count,
                       settings.executables);
}

}  // namespace

ImageStage load_and_validate(const NativeString& name, ImageBuffer* image,
                             ImageInfo* info) {
  switch (load_image(name, image)) {
    case ImageLoadStatus::ok:
      break;
    case ImageLoadStatus::cannot_open:
      print_message(Message::cannot_open_for_reading, name);
      return ImageStage::failed;
    case ImageLoadStatus::too_big:
      print_message(Message::too_big, name);
      return ImageStage::failed;
    case ImageLoadStatus::read_error:
      print_message(Message::error_reading, name);
      return ImageStage::failed;
  }
  ImageValidation validation = validate_image(image->span(), info);
  if (!image_intact(name)) return ImageStage::failed;
  switch (validation) {
    case ImageValidation::ok:
      return ImageStage::ok;
    case ImageValidation::invalid:
      print_message(Message::not_valid, name);
      return ImageStage::failed;
    case ImageValidation::no_resource_section:
      print_message(Message::no_resource_section, name);
      return ImageStage::no_resource_section;
  }
  return ImageStage::failed;
}

void process_executable(const NativeString& name, const ReplacementTable& table,
                        const RunSettings& settings) {
  ImageBuffer image;
  ImageInfo info;
  if (load_and_validate(name, &image, &info) != ImageStage::ok) return;

  RebuildOutput output;
  output.prepare_memory = platform::prefer_large_pages;
  RebuildResult result;
  RewriteLog log;
  RewriteLog* wanted = settings.report != nullptr ? &log : nullptr;
  if (wanted != nullptr) log.entry_used.assign(table.entries.size(), false);
  bool rebuilt =
      rebuild(name, &image, info, table, settings, &output, wanted, &result);
  std::string rows;
  if (wanted != nullptr && result.status == RebuildStatus::ok) {
    rows = report_rows(name, image.span(), info, table, log);
  }
  bool done = rebuilt
                  ? output_stage(name, &image, info, result, output, settings)
                  : result.status == RebuildStatus::ok;
  if (wanted != nullptr) {
    merge_entry_use(settings.report, log);
    if (done) settings.report->rows += rows;
  }
}

// A translation run: [-s] LIST EXE... exactly as without options, with the
// dry run and the report added when asked for.
namespace {

int run_translation(const Options& options) {
  const std::vector<NativeString>& arguments = options.operands;
  if (arguments.size() < 3) {
    print_message(Message::not_enough_parameters);
    return kExitUsage;
  }
  bool has_switch = is_switch(arguments[1]);
  if (has_switch && arguments.size() < 4) {
    print_message(Message::not_enough_parameters);
    return kExitUsage;
  }
  size_t list_index = has_switch ? 2 : 1;
  ReplacementTable table;
  CatalogueProblem problem;
  switch (load_replacement_list(arguments[list_index], &table, &problem)) {
    case ListLoadStatus::ok:
      break;
    case ListLoadStatus::cannot_open:
      print_message(Message::cannot_open_list, arguments[list_index]);
      return kExitListUnreadable;
    case ListLoadStatus::not_unicode:
      print_message(Message::not_unicode);
      return kExitOk;
    case ListLoadStatus::catalogue_refused:
      print_catalogue_problem(problem, arguments[list_index]);
      return kExitListUnreadable;
  }
  // The executables as found before any is written: the side file must
  // not replace one of them, nor a program this run has written.
  std::vector<platform::FileIdentity> executables;
  for (size_t i = list_index + 1; i < arguments.size(); ++i) {
    platform::FileIdentity identity;
    if (platform::identify_file(arguments[i], &identity)) {
      executables.push_back(identity);
    }
  }
  Report report;
  RunSettings settings;
  settings.executables = &executables;
  settings.dry_run = options.dry_run;
  settings.string_tables = options.string_tables;
  if (options.has_report) {
    report.entry_used.assign(table.entries.size(), false);
    settings.report = &report;
  }
  for (size_t i = list_index + 1; i < arguments.size(); ++i) {
    process_executable(arguments[i], table, settings);
    platform::flush_output();
  }
  if (options.has_report &&
      !write_whole_file(options.report_path, report_text(report, table))) {
    static const char kFailed[] = "uitrans: could not write the report\n";
    platform::print_error_text(kFailed, sizeof kFailed - 1);
  }
  return kExitOk;
}

}  // namespace

int run_uitrans(const std::vector<NativeString>& arguments) {
  std::string error;
  Options options;
  if (!parse_options(arguments, &options, &error)) {
    error = "uitrans: " + error + " (see uitrans --help)\n";
    platform::print_error_text(error.data(), error.size());
    return kExitUsage;
  }
  if (options.help) {
    print_usage();
    return kExitOk;
  }
  if (options.version) {
    static const char kVersion[] = "uitrans " UITRANS_VERSION "\n";
    platform::print_text(kVersion, sizeof kVersion - 1);
    return kExitOk;
  }
  if (options.extract) return run_extract(options);
  return run_translation(options);
}

}  // namespace uitrans
