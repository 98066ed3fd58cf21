// SPDX-License-Identifier: MIT
// Writing a file whole or not at all, on either platform's temporary files.
#include "platform/file_ops.h"

namespace uitrans::platform {

bool start_new_file(const NativeString& target, const NativeString& mode_source,
                    TempFile* temp) {
  InterruptHold hold;
  return create_temp_beside(target, mode_source, temp);
}

bool finish_new_file(TempFile* temp, const NativeString& target,
                     bool complete) {
  InterruptHold hold;
  bool named = complete && commit_temp(temp, target);
  if (named) {
    interrupt_undo() = InterruptUndo{};
  } else {
    discard_temp(temp);
  }
  return named;
}

bool write_whole_file(const NativeString& path, const std::string& bytes) {
  TempFile temp;
  if (!start_new_file(path, path, &temp)) return false;
  bool complete =
      write_all(temp.file, bytes.data(), bytes.size()) && flush_file(temp.file);
  return finish_new_file(&temp, path, complete);
}

}  // namespace uitrans::platform
