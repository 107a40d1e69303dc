#include "engine/update_run.h"

#include <exception>
#include <new>
#include <set>
#include <vector>

#include "engine/failure_report.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"
#include "engine/update_check.h"

namespace engine {

namespace {

constexpr char kIdle[] = "Parsing Engine Idle.";
constexpr char kUnchanged[] = "; the document is unchanged.";

// Up to this many documents (or bytes of new files), in any number of
// folders, are written before one flush makes all of them durable: a flush
// waits for the disk, and one wait for many files costs little more than
// one for one file.  The new files wait in temporary files, not in memory.
constexpr std::size_t kBatchDocuments = 8192;
constexpr std::size_t kBatchBytes = 512 << 20;

// How one document came out of the checks.
enum class Outcome { kWritten, kTextNotFound, kFailed, kStopped };

// A document whose backup and new content wait in temporary files.
struct Pending {
  std::string document;
  std::string backup;
  std::string target;
  FileAttributes attributes;
  std::string backup_temporary;
  std::string document_temporary;
  // Where the older backup waits, until the document is replaced; empty
  // when there was none.
  std::string older_backup = {};
};

class BatchedUpdater {
 public:
  BatchedUpdater(const DocumentPlanner& planner, const std::string& folder,
                 RunReporter& reporter, FileSystem& fs, FolderLocks& locks,
                 FailureReport& failures)
      : check_(planner, fs, folder,
               [&reporter] { return reporter.stopRequested(); }),
        locks_(locks),
        reporter_(reporter),
        fs_(fs),
        failures_(failures) {}

  // Checks the document and, when it is to change, writes its backup and
  // its new content to temporary files beside them.
  Outcome Prepare(const std::string& document);
  bool Full() const {
    return pending_.size() >= kBatchDocuments || pending_bytes_ >= kBatchBytes;
  }
  // Flushes what Prepare wrote, then puts each backup and, once the backups
  // are durable, each document in place.  Returns how many were updated.
  int Commit();
  // Flushes the names of the documents replaced so far.
  void Finish();

 private:
  void Fail(const Pending& pending, const std::string& why,
            bool backup_in_place);
  // Puts the new backup in place, the older one aside; false, with the
  // document named, when the older one stays where it was.
  bool PlaceBackup(Pending* pending);
  // Puts back the older backup of a document that was not replaced (or
  // removes the new one, when there was none and it was placed), and says
  // so in the words that end the document's message.
  std::string KeepOlderBackup(const Pending& pending, bool placed = true);
  // Replaces the document of pending, whose backup is in place; false, with
  // the document named, when it is left as it was.
  bool ReplaceDocument(const Pending& pending, const Status& names_flushed);
  // Out of memory (or any exception) while a batch is put in place.
  void GiveUp(const Pending& pending, const std::exception& failure);
  // Takes folder for the run; false, with document named, when it can't.
  bool Lock(const std::string& document, const std::string& folder);
  // Whether backup is a file this run already made a backup: on a file
  // system that ignores letter case, About.htm and about.asp share one.
  bool MadeInThisRun(const FileAttributes& backup);

  UpdateCheck check_;
  FolderLocks& locks_;
  RunReporter& reporter_;
  FileSystem& fs_;
  FailureReport& failures_;
  CheckedDocument checked_;  // reused: its buffers keep their room
  std::vector<Pending> pending_;
  std::size_t pending_bytes_ = 0;
  std::set<std::string> replaced_in_;
  // Older backups of replaced documents, deleted once those are on disk.
  std::vector<std::string> older_backups_;
  std::set<std::pair<unsigned long long, unsigned long long>> backups_made_;
};

std::string MemoryFailure(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
    return "there is not enough memory to hold it";
  }
  return std::string("it could not be updated (") + failure.what() + ")";
}

ReplaceRequest BackupRequest(const CheckedDocument& checked) {
  ReplaceRequest request;
  request.target = checked.backup;
  request.content = checked.contents;
  request.like = checked.attributes;
  request.like.mode &= 01777;  // a copy never hands out set-ID rights
  if (checked.attributes.hasExtendedAttributes) {
    request.attributes_from = checked.target;
  }
  request.record = NameOf(checked.document);
  request.sync_folder = false;
  return request;
}

ReplaceRequest DocumentRequest(const std::string& target,
                               const FileAttributes& attributes,
                               std::string_view content) {
  ReplaceRequest request;
  request.target = target;
  request.content = content;
  request.like = attributes;
  if (attributes.hasExtendedAttributes) request.attributes_from = target;
  request.expected = &attributes;
  request.sync_folder = false;
  return request;
}

bool BatchedUpdater::Lock(const std::string& document,
                          const std::string& folder) {
  Status locked = locks_.Take(folder);
  if (locked.ok()) return true;
  failures_.Add(document,
                (locked.code() == Status::kBusy
                     ? "another update or restore is working in " + folder
                     : "the folder " + folder + " could not be locked (" +
                           locked.reason() + ")") +
                    kUnchanged);
  return false;
}

Outcome BatchedUpdater::Prepare(const std::string& document) {
  reporter_.showWorkingOn(document);
  reporter_.showOperation("Scanning...");
  // Every folder this run writes in is its own until the run ends, and the
  // checks look at a folder only once it is: the document's own folder
  // (where its backup goes) first, a link's target's after.
  std::string why;
  if (!check_.InFolder(document, &why)) {
    failures_.Add(document, why + kUnchanged);
    return Outcome::kFailed;
  }
  if (!Lock(document, FolderOf(document))) return Outcome::kFailed;
  switch (check_.Check(document, &checked_, &why)) {
    case CheckResult::kTextNotFound:
      return Outcome::kTextNotFound;
    case CheckResult::kStopped:
      return Outcome::kStopped;
    case CheckResult::kRefused:
      failures_.Add(document,
                    why + (checked_.changed_through != nullptr
                               ? "; it is changed once, through that name."
                               : kUnchanged));
      return Outcome::kFailed;
    case CheckResult::kWillChange:
      break;
  }
  if (!Lock(document, FolderOf(checked_.target))) return Outcome::kFailed;
  Pending pending{
      document, checked_.backup, checked_.target, checked_.attributes, "", ""};
  Status status =
      WriteTemporary(fs_, BackupRequest(checked_), &pending.backup_temporary);
  if (!status.ok()) {
    failures_.Add(document, "the backup " + checked_.backup +
                                " could not be made (" + status.reason() + ")" +
                                kUnchanged);
    return Outcome::kFailed;
  }
  reporter_.showOperation("Performing Backup...");
  reporter_.showOperation("Updating...");
  status = WriteTemporary(fs_,
                          DocumentRequest(checked_.target, checked_.attributes,
                                          checked_.plan.content),
                          &pending.document_temporary);
  if (!status.ok()) {
    fs_.DeleteFile(pending.backup_temporary);
    failures_.Add(document, "the document could not be written (" +
                                status.reason() + ")" + kUnchanged);
    return Outcome::kFailed;
  }
  pending_bytes_ += checked_.contents.size() + checked_.plan.content.size();
  pending_.push_back(std::move(pending));
  return Outcome::kWritten;
}

void BatchedUpdater::Fail(const Pending& pending, const std::string& why,
                          bool backup_in_place) {
  if (!backup_in_place) fs_.DeleteFile(pending.backup_temporary);
  fs_.DeleteFile(pending.document_temporary);
  failures_.Add(pending.document,
                why + (backup_in_place ? "; it is unchanged, with its backup " +
                                             pending.backup + " beside it."
                                       : std::string(kUnchanged)));
}

int BatchedUpdater::Commit() {
  std::vector<Pending> batch;
  batch.swap(pending_);
  pending_bytes_ = 0;
  std::set<std::string> folders;
  for (const Pending& pending : batch) {
    folders.insert(FolderOf(pending.backup));
    folders.insert(FolderOf(pending.target));
  }
  Status flushed = locks_.SyncFileSystems(folders);
  if (!flushed.ok()) {
    for (const Pending& pending : batch) {
      Fail(pending,
           "the new files could not be flushed to disk (" + flushed.reason() +
               ")",
           false);
    }
    return 0;
  }

  // The backups take their names, and the names reach the disk, before any
  // document is replaced.  An older backup steps aside meanwhile and goes
  // only once its document's new content is on disk: a document that can't
  // be replaced keeps its last undo point.
  std::vector<Pending*> backed_up;
  std::set<std::string> backup_folders;
  for (Pending& pending : batch) {
    bool placed = false;
    try {
      placed = PlaceBackup(&pending);
    } catch (const std::exception& failure) {
      GiveUp(pending, failure);
    }
    if (!placed) continue;
    backed_up.push_back(&pending);
    backup_folders.insert(FolderOf(pending.backup));
  }
  // One flush makes every backup name of the batch durable, whatever
  // folders they are in.
  const Status names_flushed = locks_.SyncFileSystems(backup_folders);

  int updated = 0;
  for (const Pending* pending : backed_up) {
    try {
      updated += ReplaceDocument(*pending, names_flushed) ? 1 : 0;
    } catch (const std::exception& failure) {
      GiveUp(*pending, failure);
    }
  }
  return updated;
}

bool BatchedUpdater::ReplaceDocument(const Pending& pending,
                                     const Status& names_flushed) {
  if (!names_flushed.ok()) {
    fs_.DeleteFile(pending.document_temporary);
    failures_.Add(pending.document, "its backup " + pending.backup +
                                        " could not be flushed to disk" +
                                        KeepOlderBackup(pending));
    return false;
  }
  Status status = CommitTemporary(
      fs_, DocumentRequest(pending.target, pending.attributes, ""),
      pending.document_temporary);
  if (status.code() == Status::kChanged) {
    failures_.Add(pending.document,
                  "another program changed it during the update; it is as "
                  "that program saved it" +
                      KeepOlderBackup(pending));
    return false;
  }
  if (!status.ok()) {
    failures_.Add(pending.document, "the document could not be replaced (" +
                                        status.reason() + ")" +
                                        KeepOlderBackup(pending));
    return false;
  }
  if (!pending.older_backup.empty()) {
    older_backups_.push_back(pending.older_backup);
  }
  // The new content is a new file: its other names must know it too.
  FileAttributes replaced;
  if (fs_.GetAttributes(pending.target, &replaced).ok()) {
    check_.NoteReplaced(pending.document, replaced);
  }
  replaced_in_.insert(FolderOf(pending.target));
  return true;
}

void BatchedUpdater::GiveUp(const Pending& pending,
                            const std::exception& failure) {
  fs_.DeleteFile(pending.document_temporary);
  fs_.DeleteFile(pending.backup_temporary);
  failures_.Add(pending.document,
                MemoryFailure(failure) + KeepOlderBackup(pending));
}

bool BatchedUpdater::PlaceBackup(Pending* pending) {
  FileAttributes older;
  Status status = fs_.GetAttributes(pending->backup, &older);
  if (status.ok() && MadeInThisRun(older)) {
    Fail(*pending,
         "its backup " + pending->backup +
             " is already another document's backup in this run",
         false);
    return false;
  }
  if (status.ok() && older.exists && !older.isRegular && !older.isLink) {
    Fail(*pending, "its backup " + pending->backup + " is not a file", false);
    return false;
  }
  if (status.ok() && older.exists) {
    // Hidden beside the backup and named after it, so that it is never
    // taken for a leftover temporary file: a run killed before the
    // document is replaced leaves it there, not lost.
    pending->older_backup =
        documentPath(FolderOf(pending->backup),
                     "." + NameOf(pending->backup) + NewTemporaryName());
    status = fs_.RenameToNewName(pending->backup, pending->older_backup);
    if (!status.ok()) pending->older_backup.clear();
  }
  ReplaceRequest request;
  request.target = pending->backup;
  request.target_absent = true;  // an older backup stepped aside
  request.sync_folder = false;
  std::string kept;
  if (status.ok()) {
    status = CommitTemporary(fs_, request, pending->backup_temporary);
    if (!status.ok()) kept = KeepOlderBackup(*pending, /*placed=*/false);
  } else {
    fs_.DeleteFile(pending->backup_temporary);
  }
  if (!status.ok()) {
    fs_.DeleteFile(pending->document_temporary);
    failures_.Add(pending->document,
                  "the backup " + pending->backup + " could not be made (" +
                      status.reason() + ")" +
                      (kept.empty() ? std::string(kUnchanged) : kept));
    return false;
  }
  FileAttributes made;
  if (fs_.GetAttributes(pending->backup, &made).ok()) {
    // A later document that is a name of this backup must not change it.
    backups_made_.insert({made.device, made.inode});
    check_.NoteReplaced(pending->backup, made);
  }
  return true;
}

std::string BatchedUpdater::KeepOlderBackup(const Pending& pending,
                                            bool placed) {
  if (pending.older_backup.empty()) {
    if (placed) fs_.DeleteFile(pending.backup);
    return kUnchanged;
  }
  if (fs_.RenameFile(pending.older_backup, pending.backup).ok()) {
    return "; the document is unchanged, and so is its backup.";
  }
  return "; the document is unchanged, and its older backup is kept as " +
         pending.older_backup + ".";
}

bool BatchedUpdater::MadeInThisRun(const FileAttributes& backup) {
  return backup.exists &&
         backups_made_.count({backup.device, backup.inode}) != 0;
}

void BatchedUpdater::Finish() {
  // Until this flush a crash may bring back old content, but never a
  // broken one: the old content is still in the document or its backup.
  // The older backups go only once the new documents are on disk.
  if (!locks_.SyncFileSystems(replaced_in_).ok()) return;
  for (const std::string& older : older_backups_) fs_.DeleteFile(older);
}

// After a run that changed documents: the window's idle state, with how
// the run ended.
void ShowIdle(RunReporter& reporter, const char* ending) {
  reporter.disableUpdate();
  reporter.showWorkingOn(kIdle);
  reporter.showOperation(ending);
}

}  // namespace

std::int32_t UpdateRun(const std::string& folder, const Selection& entries,
                       const std::string& searchText,
                       const std::string& newText, RunReporter& reporter,
                       FileSystem& fs) {
  std::string problem, title;
  std::unique_ptr<DocumentPlanner> planner =
      ReadyUpdate(searchText, newText, entries.size(), &problem, &title);
  if (!planner) {
    reporter.showMessage(problem, title);
    return 0;
  }
  // Everything below the folder is reached through this one descriptor,
  // whatever is renamed or swapped in the folder meanwhile.
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  FolderLocks locks(fs);
  if (status.ok()) status = locks.Take(folder);
  if (!status.ok()) {
    reporter.showMessage(FolderRefusal(status, folder, "update"), "Oops..");
    return 0;
  }

  const int count = static_cast<int>(entries.size());
  FailureReport failures;
  BatchedUpdater updater(*planner, folder, reporter, fs, locks, failures);
  std::int32_t updated = 0;
  int not_found = 0;
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
    const std::string document = documentPath(folder, entry.name);
    Outcome outcome = Outcome::kFailed;
    try {
      outcome = updater.Prepare(document);
    } catch (const std::exception& failure) {
      // Out of memory on one document fails that document only.
      failures.Add(document, MemoryFailure(failure) + kUnchanged);
    }
    if (outcome == Outcome::kTextNotFound) ++not_found;
    if (outcome == Outcome::kStopped) {
      stopped = true;
      break;
    }
    if (updater.Full()) updated += updater.Commit();
  }
  updated += updater.Commit();
  updater.Finish();

  if (!failures.empty()) {
    reporter.showMessage(
        failures.Message(
            failures.size() == 1 ? "This document could not be updated:"
                                 : "These documents could not be updated:",
            "No original was lost: each of them is unchanged or has a "
            "complete backup beside it."),
        "Oops..");
  }
  if (stopped) {
    reporter.setProgressValue(0);
    reporter.showMessage("The update was stopped. Successfully updated " +
                             std::to_string(updated) +
                             " documents; the other documents are unchanged.",
                         "Stopped.");
    if (updated > 0) {
      ShowIdle(reporter, "Stopped.");
    } else {
      reporter.showOperation("Stopped.");
    }
  } else if (updated > 0) {
    std::string prompt = "Successfully updated " + std::to_string(updated) +
                         " documents. Backup copies of each file archived "
                         "successfully.";
    if (not_found > 0) {
      prompt += " " + std::to_string(not_found) +
                " selected documents did not contain the text and were left "
                "as they were.";
    }
    reporter.setProgressValue(count);
    reporter.showMessage(prompt, "Job Complete.");
    reporter.setProgressValue(0);
    ShowIdle(reporter, "Completed.");
  } else if (!failures.empty()) {
    // "No files selected" or "not found" would be untrue here.
    reporter.setProgressValue(0);
  } else {
    reporter.setProgressValue(count);
    reporter.showMessage(not_found > 0
                             ? "The text was not found in the selected "
                               "documents. Nothing was changed."
                             : "No files selected to modify.",
                         "Oops..");
    reporter.setProgressValue(0);
  }
  return updated;
}

}  // namespace engine
