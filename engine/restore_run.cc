#include "engine/restore_run.h"

#include <optional>
#include <vector>

#include "engine/copy_file.h"
#include "engine/failure_report.h"
#include "engine/locale_text.h"
#include "engine/path_rules.h"

namespace engine {

namespace {

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class BackupRestorer {
 public:
  BackupRestorer(const std::string& type_text, FileSystem& fs)
      : type_text_(type_text), fs_(fs) {}

  // Puts a copy of backup in place of its document, then deletes backup.
  // On failure *what_happened says why and where the content still is.
  bool Restore(const std::string& backup, std::string* what_happened);

 private:
  // Where the copy goes: target itself or, when no file is there, the one
  // file of the folder whose name differs from it in letter case alone
  // (index.htm for index.HTM), so that undo replaces the document it came
  // from.  Links are followed to the file they point to.
  Status FindDocument(std::string* target, FileAttributes* attributes);

  const std::string& type_text_;
  FileSystem& fs_;
};

Status BackupRestorer::FindDocument(std::string* target,
                                    FileAttributes* attributes) {
  Status status = fs_.GetAttributes(*target, attributes);
  if (!status.ok()) return status;
  if (!attributes->exists) {
    const std::string folder = FolderOf(*target);
    const std::string name = NameOf(*target);
    std::vector<std::string> names;
    if (!fs_.ListFolder(folder, &names).ok()) return Status::OK();
    std::optional<std::string> found;
    for (const std::string& candidate : names) {
      if (!SameTextIgnoringCase(candidate, name)) continue;
      if (found) return Status::OK();  // ambiguous: keep the typed name
      found = candidate;
    }
    if (!found) return Status::OK();
    *target = documentPath(folder, *found);
    status = fs_.GetAttributes(*target, attributes);
    if (!status.ok()) return status;
  }
  if (attributes->exists && attributes->isLink) {
    status = fs_.ResolvePath(*target, target);
    if (!status.ok()) return status;
  }
  return Status::OK();
}

bool BackupRestorer::Restore(const std::string& backup,
                             std::string* what_happened) {
  std::optional<std::string> target = restoredPath(backup, type_text_);
  if (!target) {
    *what_happened = "the name is too short to restore; the backup is kept.";
    return false;
  }
  if (*target == backup) {
    *what_happened =
        "the type would copy the backup onto itself; the backup is kept.";
    return false;
  }
  FileAttributes backup_attributes;
  Status status = fs_.GetAttributes(backup, &backup_attributes);
  if (status.ok() && !backup_attributes.exists) {
    *what_happened = "the backup is gone.";
    return false;
  }
  if (status.ok() && !backup_attributes.isRegular) {
    *what_happened = "it is not a file; nothing was changed.";
    return false;
  }
  FileAttributes attributes;
  if (status.ok()) status = FindDocument(&*target, &attributes);
  const std::string both_kept = "; the document and the backup are unchanged.";
  if (!status.ok()) {
    *what_happened =
        "it could not be examined (" + status.message() + ")" + both_kept;
    return false;
  }
  if (attributes.exists) {
    if (!attributes.isRegular) {
      *what_happened = *target + " is not a file" + both_kept;
      return false;
    }
    if (!attributes.writable) {
      *what_happened = *target + " is read-only" + both_kept;
      return false;
    }
    status = fs_.DeleteFile(*target);
    if (!status.ok()) {
      *what_happened = *target + " could not be replaced (" + status.reason() +
                       ")" + both_kept;
      return false;
    }
  }
  status = CopyFile(fs_, backup, *target);
  if (!status.ok()) {
    *what_happened = "it could not be copied to " + *target + " (" +
                     status.reason() +
                     "); the backup is kept and holds the document.";
    return false;
  }
  status = fs_.DeleteFile(backup);
  if (!status.ok()) {
    *what_happened = "it was restored to " + *target +
                     ", but the backup could not be deleted (" +
                     status.reason() + ").";
    return false;
  }
  return true;
}

}  // namespace

void RestoreRun(const std::string& typeText, const std::string& folder,
                const Selection& entries, RunReporter& reporter,
                FileSystem& fs) {
  if (typeText == "<Choose>") {
    reporter.showMessage("Please select a file type to restore to.", "Oops...");
    return;
  }
  if (entries.size() > kMaxSelectionEntries) {
    reporter.showMessage(
        "The list holds " + std::to_string(entries.size()) +
            " files, more than the 32767 that one restore can take. Nothing "
            "was changed.",
        "Oops...");
    return;
  }

  const int count = static_cast<int>(entries.size());
  BackupRestorer restorer(typeText, fs);
  FailureReport failures;
  std::int32_t restored = 0;
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!entry.selected) continue;
    const std::string backup = documentPath(folder, entry.name);
    std::string what_happened;
    if (restorer.Restore(backup, &what_happened)) {
      ++restored;
    } else {
      failures.Add(backup, what_happened);
    }
  }

  if (!failures.empty()) {
    reporter.showMessage(
        failures.Message(
            failures.size() == 1 ? "This backup could not be restored:"
                                 : "These backups could not be restored:",
            "Nothing was lost: a backup that was not restored is still in "
            "its folder."),
        "Oops...");
  }
  reporter.refreshList();
  reporter.setProgressValue(0);
  reporter.showMessage(
      std::to_string(restored) + " archived files successfully restored.",
      "Complete.");
}

}  // namespace engine
