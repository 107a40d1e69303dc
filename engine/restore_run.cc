#include "engine/restore_run.h"

#include <exception>
#include <new>
#include <optional>
#include <set>
#include <vector>

#include "engine/locale_text.h"
#include "engine/path_rules.h"
#include "engine/restore_check.h"
#include "engine/safe_replace.h"
#include "engine/update_run.h"

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
  std::size_t index;  // in the outcome
  std::string backup;
  std::string target;       // as named in its folder
  std::string real_target;  // links resolved
  FileAttributes target_attributes;
  FileAttributes backup_read;
  std::string temporary;
  HistoryDocument record = {};  // recorded documents only
  StoredContent before = {};
};

class BatchedRestorer {
 public:
  BatchedRestorer(const std::string& type_text, FileSystem& fs,
                  FolderLocks& locks, RunOutcome& outcome,
                  HistoryStore* history, std::int64_t history_run)
      : check_(type_text, fs, locks),
        fs_(fs),
        locks_(locks),
        outcome_(outcome),
        history_(history),
        history_run_(history_run) {}

  // Checks the outcome's backup at index and copies it to a temporary file
  // beside its document; false, with the backup left, when it is refused.
  bool Prepare(std::size_t index);
  bool Full() const {
    return pending_.size() >= kBatchBackups || pending_bytes_ >= kBatchBytes;
  }
  // Flushes the copies, puts them in place, flushes their names and
  // deletes their backups.  Returns how many were restored.
  int Commit();

 private:
  ReplaceRequest DocumentRequest(const PendingRestore& pending) const;
  void Left(const PendingRestore& pending, Reason reason, std::string why) {
    outcome_.Leave(pending.index, Verdict::kFailed, reason, std::move(why));
  }

  RestoreCheck check_;
  FileSystem& fs_;
  FolderLocks& locks_;
  // Reads the document a backup goes over, for the history: false, with
  // the backup left, when it can't be.
  bool Record(PendingRestore* pending);
  // Records a batch; the error, with every backup of it left, when not.
  Status RecordBatch(std::vector<PendingRestore>& batch);

  RunOutcome& outcome_;
  HistoryStore* history_;
  const std::int64_t history_run_;
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

bool BatchedRestorer::Prepare(std::size_t index) {
  const std::string& backup = outcome_.documents[index].path;
  std::string why;
  if (!check_.Check(backup, &checked_, &why)) {
    outcome_.Leave(index, Verdict::kRefused, checked_.refusal, why);
    return false;
  }
  PendingRestore pending{index,
                         backup,
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
  if (history_ != nullptr && pending.target_attributes.exists &&
      !Record(&pending)) {
    return false;
  }
  Status status = WriteTemporary(fs_, request, &pending.temporary);
  if (!status.ok()) {
    Left(pending, Reason::kWrite,
         "it could not be copied to " + pending.target + " (" +
             status.reason() + ")" + kBothKept);
    return false;
  }
  pending_bytes_ += checked_.contents.size();
  pending_.push_back(std::move(pending));
  return true;
}

bool BatchedRestorer::Record(PendingRestore* pending) {
  std::string now;
  FileAttributes read;
  Status status = fs_.ReadFile(pending->real_target, &read, &now);
  if (status.ok() && !read.SameFileAs(pending->target_attributes)) {
    status = Status::Error(pending->target, "another program replaced it");
  }
  if (!status.ok()) {
    Left(*pending, Reason::kHistory,
         pending->target + " could not be read for the history (" +
             status.reason() + ")" + kBothKept);
    return false;
  }
  pending->before = StoreContent(now);
  pending->record = {pending->target,
                     pending->before.hash,
                     Sha256Hex(checked_.contents),
                     pending->before.size,
                     static_cast<std::int64_t>(checked_.contents.size()),
                     ""};
  return true;
}

Status BatchedRestorer::RecordBatch(std::vector<PendingRestore>& batch) {
  if (history_ == nullptr) return Status::OK();
  std::vector<HistoryDocument> records;
  std::vector<StoredContent> contents;
  for (PendingRestore& pending : batch) {
    if (pending.record.path.empty()) continue;
    records.push_back(pending.record);
    contents.push_back(std::move(pending.before));
  }
  if (records.empty()) return Status::OK();
  const Status recorded =
      history_->AddDocuments(history_run_, records, contents);
  return recorded.ok() ? recorded
                       : Status::Error(recorded.path(),
                                       "the history could not be written: " +
                                           recorded.reason());
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
  // No document is replaced whose content before is not in the history.
  if (status.ok()) status = RecordBatch(batch);
  std::vector<const PendingRestore*> copied;
  for (const PendingRestore& pending : batch) {
    if (!status.ok()) {
      fs_.DeleteFile(pending.temporary);
      Left(pending, Reason::kWrite,
           "it could not be copied to " + pending.target + " (" +
               status.reason() + ")" + kBothKept);
      continue;
    }
    Status placed =
        CommitTemporary(fs_, DocumentRequest(pending), pending.temporary);
    if (placed.code() == Status::kChanged) {
      Left(pending, Reason::kChanged,
           "another program changed " + pending.target +
               " meanwhile; it is as that program saved it, and the "
               "backup is kept.");
    } else if (!placed.ok()) {
      Left(pending, Reason::kWrite,
           "it could not be copied to " + pending.target + " (" +
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
      Left(*pending, Reason::kWrite,
           "it was copied to " + pending->target +
               ", but the folder could not be flushed to disk (" +
               names.reason() + "); the backup is kept.");
      continue;
    }
    // Only the backup that was copied goes: not one put there meanwhile.
    Status gone = fs_.GetAttributes(pending->backup, &now);
    if (gone.ok() && !now.Unchanged(pending->backup_read)) {
      Left(*pending, Reason::kChanged,
           "it was restored to " + pending->target +
               ", and the backup was kept: another program changed it "
               "meanwhile.");
      continue;
    }
    if (gone.ok()) gone = fs_.DeleteFile(pending->backup);
    if (!gone.ok()) {
      Left(*pending, Reason::kWrite,
           "it was restored to " + pending->target +
               ", but the backup could not be deleted (" + gone.reason() +
               ").");
      continue;
    }
    outcome_.documents[pending->index].verdict = Verdict::kChanged;
    ++restored;
  }
  return restored;
}

}  // namespace

RunOutcome RestoreRun(const std::string& typeText, const std::string& folder,
                      const Selection& entries, RunReporter& reporter,
                      FileSystem& fs, HistoryStore* history) {
  RunOutcome outcome;
  auto refuse = [&outcome](RunOutcome::Refusal refusal, std::string problem) {
    outcome.refusal = refusal;
    outcome.problem = std::move(problem);
    return outcome;
  };
  if (IsBackupType(typeText)) {
    return refuse(RunOutcome::Refusal::kType,
                  "The type \"" + typeText +
                      "\" would make each restored file a backup. Please "
                      "choose the type the documents had.");
  }
  if (typeText.find('/') != std::string::npos) {
    return refuse(RunOutcome::Refusal::kType,
                  "A type can't hold \"/\". Please choose the type the "
                  "documents had.");
  }
  if (entries.size() > kMaxSelectionEntries) {
    return refuse(RunOutcome::Refusal::kTooMany,
                  "The list holds " + std::to_string(entries.size()) +
                      " files, more than the 32767 that one restore can "
                      "take. Nothing was changed.");
  }
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  FolderLocks locks(fs);
  if (status.ok()) status = locks.Take(folder);
  if (!status.ok()) {
    return refuse(RunOutcome::Refusal::kFolder,
                  FolderRefusal(status, folder, "restore"));
  }

  HistoryRun record;
  if (history != nullptr) {
    record.folder = folder;
    record.kind = "restore";
    record.what = typeText.empty() ? "restore" : "restore as " + typeText;
    status = history->BeginRun(&record);
    if (!status.ok()) {
      return refuse(RunOutcome::Refusal::kHistory, HistoryRefusal(status));
    }
  }
  const int count = static_cast<int>(entries.size());
  BatchedRestorer restorer(typeText, fs, locks, outcome, history, record.id);
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    std::size_t index;
    if (!NextEntry(reporter, folder, entries, i, &outcome, &index)) {
      if (outcome.stopped) break;
      continue;
    }
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!staysInFolder(entry.name)) {
      outcome.Leave(index, Verdict::kRefused, Reason::kName,
                    "its name leads out of the folder " + folder +
                        "; nothing was changed.");
      continue;
    }
    try {
      restorer.Prepare(index);
    } catch (const std::bad_alloc&) {
      outcome.Leave(
          index, Verdict::kFailed, Reason::kMemory,
          std::string("there is not enough memory to hold it") + kBothKept);
    } catch (const std::exception& failure) {
      outcome.Leave(index, Verdict::kFailed, Reason::kWrite,
                    std::string("it could not be restored (") + failure.what() +
                        ")" + kBothKept);
    }
    if (restorer.Full()) restorer.Commit();
  }
  restorer.Commit();
  if (history != nullptr) {
    FinishRun(*history, record.id, outcome.stopped,
              outcome.Count(Verdict::kChanged));
  }
  return outcome;
}

}  // namespace engine
