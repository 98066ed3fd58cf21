// SPDX-License-Identifier: MIT
// Backup naming and the rename that keeps the original executable.
#include "image/output.h"

namespace uitrans {

namespace {

// A second name for the executable; a rename where names cannot be added.
bool link_or_rename(BackupPlan* plan) {
  platform::InterruptUndo& undo = platform::interrupt_undo();
  bool no_links = false;
  if (platform::link_no_replace(plan->executable_name, plan->backup_name,
                                &no_links)) {
    plan->linked = true;
    undo.backup_link = plan->backup_name;
    return true;
  }
  if (!no_links ||
      !platform::rename_no_replace(plan->executable_name, plan->backup_name)) {
    return false;
  }
  plan->renamed = true;
  undo.moved_backup = plan->backup_name;
  undo.original = plan->executable_name;
  return true;
}

}  // namespace

BackupPlan plan_backup(const platform::NativeString& executable_name) {
  BackupPlan plan;
  plan.executable_name = executable_name;
  const platform::NativeString& suffix = platform::backup_suffix();
  // Only the first ".old" of the file's name counts: "x.old.old" is not
  // taken as a backup, nor is "v1.old/app.exe" for its directory.
  size_t first =
      executable_name.find(suffix, platform::file_name_start(executable_name));
  if (first != platform::NativeString::npos &&
      first + suffix.size() == executable_name.size()) {
    plan.backup_name = executable_name;
    plan.output_name = executable_name.substr(0, first);
  } else {
    plan.backup_name = platform::backup_name_of(executable_name);
    plan.output_name = executable_name;
  }
  return plan;
}

bool make_backup(BackupPlan* plan) {
  // An existing backup keeps the oldest version of the file.
  if (platform::is_readable_file(plan->backup_name)) return true;
  platform::InterruptHold hold;
  return link_or_rename(plan);
}

void undo_backup(BackupPlan* plan) {
  platform::InterruptHold hold;
  if (plan->linked && platform::remove_file(plan->backup_name)) {
    plan->linked = false;
  }
  if (plan->renamed &&
      platform::rename_no_replace(plan->backup_name, plan->executable_name)) {
    plan->renamed = false;
  }
  platform::interrupt_undo() = platform::InterruptUndo{};
}

}  // namespace uitrans
