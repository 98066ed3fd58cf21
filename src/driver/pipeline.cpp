#include "driver/pipeline.h"

#include "driver/list_file.h"
#include "driver/messages.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "image/output.h"
#include "resources/rebuild.h"

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

bool load_and_validate(const NativeString& name, ImageBuffer* image,
                       ImageInfo* info) {
  switch (load_image(name, image)) {
    case ImageLoadStatus::ok:
      break;
    case ImageLoadStatus::cannot_open:
      print_message(Message::cannot_open_for_reading, name);
      return false;
    case ImageLoadStatus::too_big:
      print_message(Message::too_big, name);
      return false;
    case ImageLoadStatus::read_error:
      print_message(Message::error_reading, name);
      return false;
  }
  switch (validate_image(image->span(), info)) {
    case ImageValidation::ok:
      return true;
    case ImageValidation::invalid:
      print_message(Message::not_valid, name);
      return false;
    case ImageValidation::no_resource_section:
      print_message(Message::no_resource_section, name);
      return false;
  }
  return false;
}

// The rebuild stage; false when the executable is done with (message given).
bool rebuild(const NativeString& name, ImageBuffer* image,
             const ImageInfo& info, const ReplacementTable& table,
             RebuildOutput* output, RebuildResult* result) {
  // A side file that holds just a UTF-16 byte-order mark; nothing needs it,
  // so failing to create it is of no consequence.
  static const uint8_t kMark[2] = {0xFF, 0xFE};
  platform::write_small_file(side_file_name(), kMark, sizeof kMark);

  *result =
      rebuild_resources(image->data.get(), image->size, info, table, output);
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
void write_rebuilt(const NativeString& name, const OutputImage& layout,
                   int32_t replaced_count) {
  BackupPlan plan = plan_backup(name);
  if (!make_backup(&plan)) {
    print_message(Message::cannot_backup, name);
    return;
  }
  PendingOutput pending;
  if (!open_output(plan, &pending)) {
    print_message(Message::cannot_open_for_writing, plan.output_name);
    undo_backup(&plan);
    return;
  }
  print_message(Message::strings_replaced, replaced_count, plan.output_name);
  if (layout.grown) print_message(Message::resized_warning, plan.output_name);
  if (!write_output(layout, plan, &pending)) {
    print_message(Message::error_writing, plan.output_name);
    undo_backup(&plan);
  }
}

}  // namespace

void process_executable(const NativeString& name,
                        const ReplacementTable& table) {
  ImageBuffer image;
  ImageInfo info;
  if (!load_and_validate(name, &image, &info)) return;

  RebuildOutput output;
  RebuildResult result;
  if (rebuild(name, &image, info, table, &output, &result)) {
    OutputImage layout;
    switch (compose_output(&image, info, result.prefix_size,
                           ByteSpan{output.data, output.used}, &layout)) {
      case ComposeStatus::ok:
        write_rebuilt(name, layout, result.replaced_count);
        break;
      case ComposeStatus::cannot_grow:
        print_message(Message::cannot_grow, name);
        break;
      case ComposeStatus::too_large:
        print_message(Message::out_of_memory, name);
        break;
    }
  }
  release_output(&output);
}

int run_uitrans(const std::vector<NativeString>& arguments) {
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
  switch (load_replacement_list(arguments[list_index], &table)) {
    case ListLoadStatus::ok:
      break;
    case ListLoadStatus::cannot_open:
      print_message(Message::cannot_open_list, arguments[list_index]);
      return kExitListUnreadable;
    case ListLoadStatus::not_unicode:
      print_message(Message::not_unicode);
      return kExitOk;
  }
  for (size_t i = list_index + 1; i < arguments.size(); ++i) {
    process_executable(arguments[i], table);
    platform::flush_output();
  }
  return kExitOk;
}

}  // namespace uitrans
