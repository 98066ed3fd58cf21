// Backup naming and the rename that keeps the original executable.
#include "image/output.h"

namespace uitrans {

namespace {

const platform::NativeString& old_suffix() {
#ifdef _WIN32
  static const platform::NativeString suffix = L".old";
#else
  static const platform::NativeString suffix = ".old";
#endif
  return suffix;
}

}  // namespace

BackupPlan plan_backup(const platform::NativeString& executable_name) {
  BackupPlan plan;
  plan.executable_name = executable_name;
  const platform::NativeString& suffix = old_suffix();
  // Only the first ".old" counts: "x.old.old" is not taken as a backup.
  size_t first = executable_name.find(suffix);
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
  if (!platform::rename_no_replace(plan->executable_name, plan->backup_name)) {
    return false;
  }
  plan->renamed = true;
  return true;
}

void undo_backup(BackupPlan* plan) {
  if (!plan->renamed) return;
  if (platform::rename_no_replace(plan->backup_name, plan->executable_name)) {
    plan->renamed = false;
  }
}

}  // namespace uitrans
