#include "engine/batched_update.h"

#include <algorithm>
#include <new>
#include <thread>

#include "engine/path_rules.h"

namespace engine {

namespace {

// Up to this many documents (or bytes of new files), in any number of
// folders, are written before one flush makes all of them durable: a flush
// waits for the disk, and one wait for many files costs little more than
// one for one file.  The new files wait in temporary files, not in memory.
constexpr std::size_t kBatchDocuments = 8192;
constexpr std::size_t kBatchBytes = 512 << 20;
// A recorded batch holds its contents before, compressed, until it is
// recorded: about a quarter of this, so that the history's memory stays
// within a few MiB whatever the size of the site.
constexpr std::size_t kRecordedBatchBytes = 16 << 20;

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

}  // namespace

Reason MemoryReason(const std::exception& failure) {
  return dynamic_cast<const std::bad_alloc*>(&failure) != nullptr
             ? Reason::kMemory
             : Reason::kWrite;
}

Reason RefusalReason(ExamineStep step) {
  switch (step) {
    case ExamineStep::kName:
      return Reason::kName;
    case ExamineStep::kSameFile:
      return Reason::kSameFile;
    case ExamineStep::kContents:
      return Reason::kContent;
    case ExamineStep::kBackup:
      return Reason::kBackup;
    case ExamineStep::kAttributes:
    case ExamineStep::kNone:
      break;
  }
  return Reason::kNotAllowed;
}

std::string MemoryFailure(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
    return "there is not enough memory to hold it";
  }
  return std::string("it could not be updated (") + failure.what() + ")";
}

bool BatchedUpdater::Full() const {
  const std::size_t most =
      settings_.history != nullptr ? kRecordedBatchBytes : kBatchBytes;
  return pending_.size() >= kBatchDocuments || pending_bytes_ >= most;
}

bool BatchedUpdater::Lock(std::size_t index, const std::string& folder) {
  Status locked = locks_.Take(folder);
  if (locked.ok()) return true;
  Left(index, Verdict::kRefused, Reason::kLocked,
       (locked.code() == Status::kBusy
            ? "another update or restore is working in " + folder
            : "the folder " + folder + " could not be locked (" +
                  locked.reason() + ")") +
           kUnchanged);
  return false;
}

Outcome BatchedUpdater::Prepare(std::size_t index) {
  const std::string& document = outcome_.documents[index].path;
  reporter_.showWorkingOn(document);
  reporter_.showStep(RunStep::kScanning);
  // Every folder this run writes in is its own until the run ends, and the
  // checks look at a folder only once it is: the document's own folder
  // (where its backup goes) first, a link's target's after.
  std::string why;
  if (!check_.InFolder(document, &why)) {
    Left(index, Verdict::kRefused, Reason::kName, why + kUnchanged);
    return Outcome::kFailed;
  }
  if (!Lock(index, FolderOf(document))) return Outcome::kFailed;
  switch (check_.Check(document, &checked_, &why)) {
    case CheckResult::kTextNotFound:
      outcome_.documents[index].verdict = Verdict::kTextNotFound;
      return Outcome::kTextNotFound;
    case CheckResult::kStopped:
      return Outcome::kStopped;
    case CheckResult::kRefused:
      Left(index, Verdict::kRefused, RefusalReason(checked_.refused_at),
           why + (checked_.changed_through != nullptr
                      ? "; it is changed once, through that name."
                      : kUnchanged));
      return Outcome::kFailed;
    case CheckResult::kWillChange:
      break;
  }
  if (!Lock(index, FolderOf(checked_.target))) return Outcome::kFailed;
  Pending pending{
      index,           checked_.plan.replacements, document, checked_.backup,
      checked_.target, checked_.attributes,        "",       ""};
  if (settings_.history != nullptr) {
    pending.record = {document,
                      "",
                      "",
                      static_cast<std::int64_t>(checked_.contents.size()),
                      static_cast<std::int64_t>(checked_.plan.content.size()),
                      checked_.plan.encoding};
  }
  Status status;
  if (settings_.keep_backups) {
    status =
        WriteTemporary(fs_, BackupRequest(checked_), &pending.backup_temporary);
  }
  if (!status.ok()) {
    Left(index, Verdict::kFailed, Reason::kBackup,
         "the backup " + checked_.backup + " could not be made (" +
             status.reason() + ")" + kUnchanged);
    return Outcome::kFailed;
  }
  reporter_.showStep(RunStep::kBackingUp);
  reporter_.showStep(RunStep::kUpdating);
  status = WriteTemporary(fs_,
                          DocumentRequest(checked_.target, checked_.attributes,
                                          checked_.plan.content),
                          &pending.document_temporary);
  if (!status.ok()) {
    DeleteTemporary(pending.backup_temporary);
    Left(index, Verdict::kFailed, Reason::kWrite,
         "the document could not be written (" + status.reason() + ")" +
             kUnchanged);
    return Outcome::kFailed;
  }
  pending_bytes_ += checked_.contents.size() + checked_.plan.content.size();
  if (settings_.history != nullptr) {
    // Hashed and compressed beside the run, which needs the bytes no more;
    // the batch waits for them only when it is recorded.
    // One thread beside the run's: more only fight it for the cores while
    // it reads and writes.
    if (worker_ == nullptr) worker_ = std::make_unique<ContentWorker>();
    pending.kept = worker_->Submit(std::move(checked_.contents),
                                   std::move(checked_.plan.content));
  }
  pending_.push_back(std::move(pending));
  return Outcome::kWritten;
}

void BatchedUpdater::Fail(const Pending& pending, Reason reason,
                          const std::string& why, bool backup_in_place) {
  if (!backup_in_place) DeleteTemporary(pending.backup_temporary);
  fs_.DeleteFile(pending.document_temporary);
  Left(pending.index, Verdict::kFailed, reason,
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
      Fail(pending, Reason::kWrite,
           "the new files could not be flushed to disk (" + flushed.reason() +
               ")",
           false);
    }
    return 0;
  }
  // No document is replaced whose content before is not in the history.
  if (settings_.history != nullptr && !batch.empty()) {
    std::vector<HistoryDocument> records;
    std::vector<StoredContent> contents;
    Status recorded;
    try {
      for (Pending& pending : batch) {
        KeptContents kept = pending.kept.get();
        pending.record.before_hash = kept.before.hash;
        pending.record.after_hash = std::move(kept.after_hash);
        records.push_back(pending.record);
        contents.push_back(std::move(kept.before));
      }
    } catch (const std::exception& failure) {
      recorded = Status::Error("the history", MemoryFailure(failure));
    }
    if (recorded.ok()) {
      recorded =
          settings_.history->AddDocuments(history_run_, records, contents);
    }
    if (!recorded.ok()) {
      for (const Pending& pending : batch) {
        Fail(pending, Reason::kHistory,
             "the history could not be written (" + recorded.message() + ")",
             false);
      }
      return 0;
    }
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
      // Whatever stands at the backup's name is left there.
      GiveUp(pending, failure, /*placed=*/false);
    }
    if (!placed) continue;
    backed_up.push_back(&pending);
    backup_folders.insert(FolderOf(pending.backup));
  }
  // One flush makes every backup name of the batch durable, whatever
  // folders they are in.
  const Status names_flushed = locks_.SyncFileSystems(backup_folders);

  // The documents of the batch were all reached when the run was asked to
  // stop before this: they are finished.  Asked while they are put in
  // place, the run ends after the one it is on, and the rest are put back
  // as they were, with their older backups, not reached.
  const bool finish_all = outcome_.stopped || reporter_.stopRequested();
  int updated = 0;
  for (const Pending* pending : backed_up) {
    if (!finish_all && (outcome_.stopped || reporter_.stopRequested())) {
      outcome_.stopped = true;
      Unreach(*pending);
      continue;
    }
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
    LeaveDocument(
        pending, Reason::kWrite,
        "its backup " + pending.backup + " could not be flushed to disk");
    return false;
  }
  Status status = CommitTemporary(
      fs_, DocumentRequest(pending.target, pending.attributes, ""),
      pending.document_temporary);
  if (status.code() == Status::kChanged) {
    LeaveDocument(pending, Reason::kChanged,
                  "another program changed it during the update; it is as "
                  "that program saved it",
                  /*placed=*/true, /*changed_by_other=*/true);
    return false;
  }
  if (!status.ok()) {
    LeaveDocument(
        pending, Reason::kWrite,
        "the document could not be replaced (" + status.reason() + ")");
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
  DocumentOutcome& done = outcome_.documents[pending.index];
  done.verdict = Verdict::kChanged;
  done.replacements = pending.replacements;
  return true;
}

void BatchedUpdater::Unreach(const Pending& pending) {
  DeleteTemporary(pending.document_temporary);
  if (!settings_.keep_backups) return;
  if (pending.older_backup.empty()) {
    fs_.DeleteFile(pending.backup);
  } else if (!fs_.RenameFile(pending.older_backup, pending.backup).ok()) {
    Left(pending.index, Verdict::kFailed, Reason::kBackup,
         "the run was stopped before it; it is unchanged, and its older "
         "backup is kept as " +
             pending.older_backup + ".");
  }
}

void BatchedUpdater::GiveUp(const Pending& pending,
                            const std::exception& failure, bool placed) {
  fs_.DeleteFile(pending.document_temporary);
  DeleteTemporary(pending.backup_temporary);
  LeaveDocument(pending, MemoryReason(failure), MemoryFailure(failure), placed);
}

bool BatchedUpdater::PlaceBackup(Pending* pending) {
  if (!settings_.keep_backups) return true;
  FileAttributes older;
  Status status = fs_.GetAttributes(pending->backup, &older);
  if (status.ok() && MadeInThisRun(older)) {
    Fail(*pending, Reason::kSameFile,
         "its backup " + pending->backup +
             " is already another document's backup in this run",
         false);
    return false;
  }
  if (status.ok() && older.exists && !older.isRegular && !older.isLink) {
    Fail(*pending, Reason::kBackup,
         "its backup " + pending->backup + " is not a file", false);
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
  if (status.ok()) {
    status = CommitTemporary(fs_, request, pending->backup_temporary);
  } else {
    DeleteTemporary(pending->backup_temporary);
  }
  if (!status.ok()) {
    fs_.DeleteFile(pending->document_temporary);
    LeaveDocument(*pending, Reason::kBackup,
                  "the backup " + pending->backup + " could not be made (" +
                      status.reason() + ")",
                  /*placed=*/false);
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

void BatchedUpdater::LeaveDocument(const Pending& pending, Reason reason,
                                   const std::string& why, bool placed,
                                   bool changed_by_other) {
  std::string left = changed_by_other ? "" : "; the document is unchanged";
  if (pending.older_backup.empty()) {
    // Only a backup this run made: with none kept, the name is the
    // user's older one.
    if (placed && settings_.keep_backups) fs_.DeleteFile(pending.backup);
  } else if (fs_.RenameFile(pending.older_backup, pending.backup).ok()) {
    left += left.empty() ? ", and its backup is as it was"
                         : ", and so is its backup";
  } else {
    left += ", and its older backup is kept as " + pending.older_backup;
  }
  Left(pending.index, Verdict::kFailed, reason, why + left + ".");
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

}  // namespace engine
