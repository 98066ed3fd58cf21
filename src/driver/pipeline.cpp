// SPDX-License-Identifier: MIT
#include "driver/pipeline.h"

#include <algorithm>

#include "driver/checks.h"
#include "driver/extract_command.h"
#include "driver/list_file.h"
#include "driver/messages.h"
#include "driver/options.h"
#include "driver/preview.h"
#include "driver/report.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "image/output.h"
#include "image/pe_format.h"
#include "resources/dialog_fit.h"
#include "resources/directory_writer.h"
#include "resources/rebuild.h"
#include "resources/text_record.h"
#include "uitrans_version.h"

namespace uitrans {

namespace {

using platform::NativeString;

// A file that shrank while it was mapped was not read whole, whatever a
// stage made of the bytes it read meanwhile.
Outcome unless_pages_lost(const Outcome& outcome) {
  if (platform::mapping_lost_pages()) return fail(Message::error_reading);
  return outcome;
}

// A side file that holds just a UTF-16 byte-order mark; nothing needs it,
// so failing to create it is of no consequence. A dry run writes nothing.
// It never overwrites an executable of the run, whatever name or link
// leads to it.
void write_side_file(const RunSettings& settings) {
  static const uint8_t kMark[2] = {0xFF, 0xFE};
  static const std::vector<platform::FileIdentity> kNone;
  if (settings.dry_run) return;
  platform::write_side_file(
      platform::side_file_name(), kMark, sizeof kMark,
      settings.executables != nullptr ? *settings.executables : kNone);
}

// Repacks the resources; ends with no_strings_found when the rebuild read
// the image but replaced nothing (`result->outcome` then stays ok).
Outcome rebuild(const NativeString& name, ImageBuffer* image,
                const ImageInfo& info, const ReplacementTable& table,
                const RunSettings& settings, RebuildOutput* output,
                RewriteLog* log, RebuildResult* result) {
  RebuildOptions options;
  if (!table.contexts.empty()) {
    options.file_name = platform::native_to_utf8(name);
    options.own_file_name =
        platform::native_to_utf8(name.substr(platform::file_name_start(name)));
  }
  options.kinds = settings.kinds;
  options.add_language = settings.add_language;
  options.added_language = settings.added_language;
  options.log = log;
  options.fit = settings.fit;
  options.reference_unchanged = true;
  if (image->mapped()) options.release_pages = platform::release_clean_pages;
  *result = rebuild_resources(image->data.get(), image->size, info, table,
                              output, options);
  result->outcome = unless_pages_lost(result->outcome);
  if (!result->outcome.ok()) return result->outcome;
  if (result->replaced_count == 0) return fail(Message::no_strings_found);
  return Outcome{};
}

// 8-bit texts that are no valid text in their code page stay as they are;
// standard error says how many, as standard output belongs to the fixed
// messages.
void report_undecodable(const NativeString& name, const RebuildNotes& notes) {
  if (notes.undecodable == 0) return;
  std::string line = ": " + std::to_string(notes.undecodable) +
                     (notes.undecodable == 1 ? " text" : " texts") +
                     " kept (not valid in the code page of its language)\n";
  platform::print_error_text("uitrans: ", 9);
  platform::print_error_native(name);
  platform::print_error_text(line.data(), line.size());
}

// Translations whose placeholders differ are never applied, with or
// without checks; standard error says how many.
void report_refused(const NativeString& name, const RebuildNotes& notes) {
  if (notes.refused == 0) return;
  std::string line = ": " + std::to_string(notes.refused) +
                     (notes.refused == 1 ? " translation" : " translations") +
                     " refused (placeholders differ from the source)\n";
  platform::print_error_text("uitrans: ", 9);
  platform::print_error_native(name);
  platform::print_error_text(line.data(), line.size());
}

// One line per finding, "app.exe: DIALOG/101/0409/control #3: check:
// explanation", as compilers name a place and what is wrong there.
void print_findings(const NativeString& name, ByteSpan image,
                    const ImageInfo& info, const RewriteLog& log,
                    const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    const TextRecord& record = log.records[finding.record];
    std::string line = ": ";
    for (uint32_t level = 1; level <= kPathLevels; ++level) {
      line += resource_label(image, info.resource_raw_pointer,
                             record.path[level - 1], level);
      line += '/';
    }
    line += record.place_name;
    line += ": ";
    line += finding.check;
    line += ": ";
    line += finding.explanation;
    line += '\n';
    platform::print_error_native(name);
    platform::print_error_text(line.data(), line.size());
  }
}

// Dialog texts that no longer fit their controls, or controls widened over
// others, join the findings at the record of the control's title.
void add_fit_findings(const RewriteLog& log, std::vector<Finding>* findings) {
  for (const DialogLayout& layout : log.dialogs) {
    for (const FitFinding& fit : fit_findings(layout)) {
      for (size_t i = 0; i < log.records.size(); ++i) {
        const TextRecord& record = log.records[i];
        if (record.place != TextPlace::control_title ||
            record.place_name != fit.place_name ||
            !std::equal(record.path, record.path + kPathLevels, layout.path)) {
          continue;
        }
        findings->push_back(Finding{
            i, fit.check == "overlap" ? "overlap" : "fit", fit.message});
        break;
      }
    }
  }
  std::stable_sort(
      findings->begin(), findings->end(),
      [](const Finding& a, const Finding& b) { return a.record < b.record; });
}

// What a run that writes prints once the new image is open: the count, and
// the warning when the resource section grows.
void print_summary(const NativeString& output_name, const OutputImage& layout,
                   int32_t replaced_count) {
  print_message(Message::strings_replaced, replaced_count, output_name);
  if (layout.grown) print_message(Message::resized_warning, output_name);
}

// The backup, then the new image written beside the output name and moved
// onto it. Whatever fails, the files keep what they held. True when the new
// image was written.
bool write_rebuilt(const NativeString& name, const OutputImage& layout,
                   int32_t replaced_count,
                   std::vector<platform::FileIdentity>* executables) {
  BackupPlan plan = plan_backup(name);
  if (!make_backup(&plan)) {
    print_outcome(fail(Message::cannot_backup), name);
    return false;
  }
  PendingOutput pending;
  if (!open_output(plan, &pending)) {
    undo_backup(&plan);
    print_outcome(fail(Message::cannot_open_for_writing), plan.output_name);
    return false;
  }
  print_summary(plan.output_name, layout, replaced_count);
  if (!write_output(layout, plan, &pending)) {
    undo_backup(&plan);
    print_outcome(fail(Message::error_writing), plan.output_name);
    return false;
  }
  if (executables != nullptr) executables->push_back(pending.written);
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

// Adding a language: the directory prefix written anew, with a leaf for
// every copy, and its size in *prefix_size. A tree that shares or loops, or
// a resource section that shares bytes with the headers, cannot take a new
// prefix: the section is not grown then.
Outcome write_new_prefix(const ImageBuffer& image, const ImageInfo& info,
                         const RebuildResult& result, uint16_t language,
                         std::vector<uint8_t>* prefix, uint32_t* prefix_size) {
  uint64_t headers_end = uint64_t{info.section_table_offset} +
                         uint64_t{pe::kSectionHeaderSize} * info.section_count;
  DirectoryTree tree;
  if (info.resource_raw_pointer < headers_end ||
      read_directory_tree(image.span(), info.resource_raw_pointer, &tree) !=
          TreeShape::simple ||
      tree.item_count != result.placements.size()) {
    return fail(Message::cannot_grow);
  }
  std::vector<ItemPlacement> placements = result.placements;
  for (const AddedCopy& copy : result.copies) {
    add_language_leaf(&tree, copy.source, language,
                      static_cast<uint32_t>(placements.size()));
    placements.push_back(copy.placement);
  }
  DirectoryPlan plan;
  if (!plan_directory(tree, &plan)) return size_overflow();
  prefix->assign(plan.size, 0);
  write_directory(plan, placements, info.resource_virtual_address + plan.size,
                  prefix->data());
  *prefix_size = plan.size;
  return Outcome{};
}

// Lays out and writes the rebuilt image. A dry run stops before the backup:
// it prints what a run that writes would print up to there.
bool output_stage(const NativeString& name, ImageBuffer* image,
                  const ImageInfo& info, const RebuildResult& result,
                  const RebuildOutput& output, const RunSettings& settings) {
  DataArea area = data_area_of(*image, output);
  uint32_t prefix_size = result.prefix_size;
  std::vector<uint8_t> new_prefix;
  if (settings.add_language) {
    Outcome written =
        write_new_prefix(*image, info, result, settings.added_language,
                         &new_prefix, &prefix_size);
    if (!written.ok()) {
      print_outcome(written, name);
      return false;
    }
    area.new_prefix = new_prefix.data();
  }
  OutputImage layout;
  Outcome composed = unless_pages_lost(
      compose_output(image, info, prefix_size, area, &layout));
  if (!composed.ok()) {
    print_outcome(composed, name);
    return false;
  }
  if (settings.dry_run) {
    print_summary(plan_backup(name).output_name, layout, result.replaced_count);
    return true;
  }
  return write_rebuilt(name, layout, result.replaced_count,
                       settings.executables);
}

}  // namespace

Outcome load_and_validate(const NativeString& name, ImageBuffer* image,
                          ImageInfo* info) {
  Outcome loaded = load_image(name, image);
  if (!loaded.ok()) return loaded;
  return unless_pages_lost(validate_image(image->span(), info));
}

void process_executable(const NativeString& name, const ReplacementTable& table,
                        const RunSettings& settings) {
  ImageBuffer image;
  ImageInfo info;
  Outcome loaded = load_and_validate(name, &image, &info);
  if (!loaded.ok()) {
    print_outcome(loaded, name);
    return;
  }
  write_side_file(settings);

  RebuildOutput output;
  output.prepare_memory = platform::prefer_large_pages;
  RebuildResult result;
  RewriteLog log;
  // The log is what the report lists, what the checks look at and what the
  // preview draws.
  RewriteLog* wanted = settings.report != nullptr || settings.check ||
                               settings.preview != nullptr
                           ? &log
                           : nullptr;
  if (wanted != nullptr) log.entry_used.assign(table.entries.size(), false);
  Outcome rebuilt =
      rebuild(name, &image, info, table, settings, &output, wanted, &result);
  report_undecodable(name, result.notes);
  report_refused(name, result.notes);
  // Texts of an image that was read whole are reported and checked even
  // when nothing was replaced; those of one refused are not.
  std::vector<Finding> findings;
  if (settings.check && result.outcome.ok()) {
    findings = check_records(log.records);
    add_fit_findings(log, &findings);
    print_findings(name, image.span(), info, log, findings);
    *settings.warnings +=
        static_cast<uint32_t>(findings.size()) + result.notes.refused;
  }
  std::string rows;
  if (settings.report != nullptr && result.outcome.ok()) {
    rows = report_rows(name, image.span(), info, table, log,
                       settings.check ? &findings : nullptr);
  }
  bool done = false;
  if (rebuilt.ok()) {
    done = output_stage(name, &image, info, result, output, settings);
  } else {
    print_outcome(rebuilt, name);
    done = result.outcome.ok();
  }
  if (settings.report != nullptr) {
    merge_entry_use(settings.report, log);
    if (done) settings.report->rows += rows;
  }
  if (settings.preview != nullptr && done && result.outcome.ok()) {
    add_to_preview(settings.preview, name, image.span(), info, log);
  }
}

namespace {

// The exit status a list that could not be loaded ends the run with.
int list_failure_status(const Outcome& outcome) {
  return outcome.message == Message::not_unicode ? kExitOk
                                                 : kExitListUnreadable;
}

// A translation run: [-s] LIST EXE... exactly as without options, with the
// dry run, the report and more kinds added when asked for.
int run_translation(const Options& options) {
  if (options.too_few_operands) {
    print_message(Message::not_enough_parameters);
    return kExitUsage;
  }
  ReplacementTable table;
  Outcome listed = load_replacement_list(options.list_path, &table);
  if (!listed.ok()) {
    print_outcome(listed, options.list_path);
    return list_failure_status(listed);
  }
  // The executables as found before any is written: the side file must
  // not replace one of them, nor a program this run has written.
  std::vector<platform::FileIdentity> executables;
  for (const NativeString& name : options.executables) {
    platform::FileIdentity identity;
    if (platform::identify_file(name, &identity)) {
      executables.push_back(identity);
    }
  }
  Report report;
  RunSettings settings;
  settings.executables = &executables;
  settings.dry_run = options.dry_run;
  settings.kinds = options.kinds;
  settings.add_language = options.has_add_language;
  settings.added_language = options.added_language;
  uint32_t warnings = 0;
  settings.check = options.check;
  settings.warnings = &warnings;
  settings.fit = options.fit;
  PreviewPage preview;
  if (options.has_preview) settings.preview = &preview;
  if (options.has_report) {
    report.entry_used.assign(table.entries.size(), false);
    report.with_checks = options.check;
    settings.report = &report;
  }
  for (const NativeString& name : options.executables) {
    process_executable(name, table, settings);
    platform::flush_output();
  }
  if (options.has_report &&
      !platform::write_whole_file(options.report_path,
                                  report_text(report, table))) {
    static const char kFailed[] = "uitrans: could not write the report\n";
    platform::print_error_text(kFailed, sizeof kFailed - 1);
  }
  if (options.has_preview && !platform::write_whole_file(
                                 options.preview_path, preview_html(preview))) {
    static const char kFailed[] = "uitrans: could not write the preview\n";
    platform::print_error_text(kFailed, sizeof kFailed - 1);
  }
  return options.check && warnings > 0 ? kExitCheckWarnings : kExitOk;
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
