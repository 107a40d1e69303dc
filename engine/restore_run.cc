#include "engine/restore_run.h"

#include <exception>
#include <new>
#include <optional>
#include <set>
#include <vector>

#include "engine/failure_report.h"
#include "engine/locale_text.h"
#include "engine/path_rules.h"
#include "engine/restore_check.h"
#include "engine/safe_replace.h"

namespace engine {

namespace {

// A type ending in "bac" would name a backup: the entry's own, or another
// one (x.bac restored as "y.bac" becomes x.y.bac).
bool IsBackupType(const std::string& type_text) {
  const std::optional<std::size_t> keep =
      BytesBeforeLastCharacters(type_text, 3);
  return keep && SameTextIgnoringCase(type_text.substr(*keep), "bac");
}

// Up to this many backups (or bytes of copies), in any number of folders,
// are copied before one flush makes all the copies durable, and another
// their names; only then are their backups deleted.
constexpr std::size_t kBatchBackups = 8192;
constexpr std::size_t kBatchBytes = 512 << 20;

// A backup whose copy waits in a temporary file beside its document.
struct PendingRestore {
  std::string backup;
  std::string target;       // as named in its folder
  std::string real_target;  // links resolved
  FileAttributes target_attributes;
  FileAttributes backup_read;
  std::string temporary;
};

class BatchedRestorer {
 public:
  BatchedRestorer(const std::string& type_text, FileSystem& fs,
                  FolderLocks& locks, FailureReport& failures)
      : check_(type_text, fs, locks),
        fs_(fs),
        locks_(locks),
        failures_(failures) {}

  // Checks backup and copies it to a temporary file beside its document;
  // false, with the backup named, when it is refused.
  bool Prepare(const std::string& backup);
  bool Full() const {
    return pending_.size() >= kBatchBackups || pending_bytes_ >= kBatchBytes;
  }
  // Flushes the copies, puts them in place, flushes their names and
  // deletes their backups.  Returns how many were restored.
  int Commit();

 private:
  ReplaceRequest DocumentRequest(const PendingRestore& pending) const;

  RestoreCheck check_;
  FileSystem& fs_;
  FolderLocks& locks_;
  FailureReport& failures_;
  CheckedBackup checked_;  // reused: its buffers keep their room
  std::vector<PendingRestore> pending_;
  std::size_t pending_bytes_ = 0;
};

ReplaceRequest BatchedRestorer::DocumentRequest(
    const PendingRestore& pending) const {
  ReplaceRequest request;
  request.target = pending.real_target;
  request.sync_folder = false;
  if (pending.target_attributes.exists) {
    // The document keeps its own permissions, owner, group and attributes,
    // whatever the backup carries.
    request.like = pending.target_attributes;
    request.attributes_from = pending.real_target;
    request.expected = &pending.target_attributes;
  } else {
    // Found missing: a file made there meanwhile is not replaced.
    request.target_absent = true;
  }
  return request;
}

bool BatchedRestorer::Prepare(const std::string& backup) {
  std::string why;
  if (!check_.Check(backup, &checked_, &why)) {
    failures_.Add(backup, why);
    return false;
  }
  PendingRestore pending{backup,
                         checked_.target,
                         checked_.real_target,
                         checked_.target_attributes,
                         checked_.backup_read,
                         ""};
  ReplaceRequest request = DocumentRequest(pending);
  request.content = checked_.contents;
  if (!pending.target_attributes.exists) {
    // The backup kept the document's owners and permissions.
    request.like.mode = checked_.backup_attributes.mode & 0777;
    request.like.owner = checked_.backup_attributes.owner;
    request.like.group = checked_.backup_attributes.group;
  }
  Status status = WriteTemporary(fs_, request, &pending.temporary);
  if (!status.ok()) {
    failures_.Add(backup, "it could not be copied to " + pending.target + " (" +
                              status.reason() + ")" + kBothKept);
    return false;
  }
  pending_bytes_ += checked_.contents.size();
  pending_.push_back(std::move(pending));
  return true;
}

int BatchedRestorer::Commit() {
  std::vector<PendingRestore> batch;
  batch.swap(pending_);
  pending_bytes_ = 0;
  std::set<std::string> folders;
  for (const PendingRestore& pending : batch) {
    folders.insert(FolderOf(pending.real_target));
  }
  Status status = locks_.SyncFileSystems(folders);
  std::vector<const PendingRestore*> copied;
  for (const PendingRestore& pending : batch) {
    if (!status.ok()) {
      fs_.DeleteFile(pending.temporary);
      failures_.Add(pending.backup, "it could not be copied to " +
                                        pending.target + " (" +
                                        status.reason() + ")" + kBothKept);
      continue;
    }
    Status placed =
        CommitTemporary(fs_, DocumentRequest(pending), pending.temporary);
    if (placed.code() == Status::kChanged) {
      failures_.Add(pending.backup,
                    "another program changed " + pending.target +
                        " meanwhile; it is as that program saved it, and the "
                        "backup is kept.");
    } else if (!placed.ok()) {
      failures_.Add(pending.backup, "it could not be copied to " +
                                        pending.target + " (" +
                                        placed.reason() + ")" + kBothKept);
    } else {
      copied.push_back(&pending);
    }
  }
  // A backup goes only once its copy's name is on disk.
  const Status names = locks_.SyncFileSystems(folders);
  int restored = 0;
  for (const PendingRestore* pending : copied) {
    FileAttributes now;
    if (fs_.GetAttributes(pending->real_target, &now).ok()) {
      check_.NoteRestored(now);
    }
    if (!names.ok()) {
      failures_.Add(pending->backup,
                    "it was copied to " + pending->target +
                        ", but the folder could not be flushed to disk (" +
                        names.reason() + "); the backup is kept.");
      continue;
    }
    // Only the backup that was copied goes: not one put there meanwhile.
    Status gone = fs_.GetAttributes(pending->backup, &now);
    if (gone.ok() && !now.Unchanged(pending->backup_read)) {
      failures_.Add(pending->backup, "it was restored to " + pending->target +
                                         ", and the backup was kept: another "
                                         "program changed it meanwhile.");
      continue;
    }
    if (gone.ok()) gone = fs_.DeleteFile(pending->backup);
    if (!gone.ok()) {
      failures_.Add(pending->backup, "it was restored to " + pending->target +
                                         ", but the backup could not be "
                                         "deleted (" +
                                         gone.reason() + ").");
      continue;
    }
    ++restored;
  }
  return restored;
}

}  // namespace

void RestoreRun(const std::string& typeText, const std::string& folder,
                const Selection& entries, RunReporter& reporter,
                FileSystem& fs) {
  if (typeText == "<Choose>") {
    reporter.showMessage("Please select a file type to restore to.", "Oops...");
    return;
  }
  if (IsBackupType(typeText)) {
    reporter.showMessage("The type \"" + typeText +
                             "\" would make each restored file a backup. "
                             "Please choose the type the documents had.",
                         "Oops...");
    return;
  }
  if (typeText.find('/') != std::string::npos) {
    reporter.showMessage(
        "A type can't hold \"/\". Please choose the type the "
        "documents had.",
        "Oops...");
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
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  FolderLocks locks(fs);
  if (status.ok()) status = locks.Take(folder);
  if (!status.ok()) {
    reporter.showMessage(FolderRefusal(status, folder, "restore"), "Oops...");
    return;
  }

  const int count = static_cast<int>(entries.size());
  FailureReport failures;
  BatchedRestorer restorer(typeText, fs, locks, failures);
  std::int32_t restored = 0;
  bool stopped = false;
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    if (reporter.stopRequested()) {
      stopped = true;
      break;
    }
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!entry.selected) continue;
    const std::string backup = documentPath(folder, entry.name);
    if (!staysInFolder(entry.name)) {
      failures.Add(backup, "its name leads out of the folder " + folder +
                               "; nothing was changed.");
      continue;
    }
    try {
      restorer.Prepare(backup);
    } catch (const std::bad_alloc&) {
      failures.Add(backup, std::string("there is not enough memory to hold "
                                       "it") +
                               kBothKept);
    } catch (const std::exception& failure) {
      failures.Add(backup, std::string("it could not be restored (") +
                               failure.what() + ")" + kBothKept);
    }
    if (restorer.Full()) restored += restorer.Commit();
  }
  restored += restorer.Commit();

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
  if (stopped) {
    reporter.showMessage("The restore was stopped. " +
                             std::to_string(restored) +
                             " archived files successfully restored; the "
                             "other backups are unchanged.",
                         "Stopped.");
    return;
  }
  reporter.showMessage(
      std::to_string(restored) + " archived files successfully restored.",
      "Complete.");
}

}  // namespace engine
