#include "engine/history/undo_run.h"

#include <future>
#include <new>
#include <set>

#include "engine/history/content_worker.h"
#include "engine/owners.h"
#include "engine/safe_replace.h"
#include "engine/update_run.h"

namespace engine {

namespace {

constexpr std::size_t kBatchDocuments = 8192;
constexpr char kLeft[] = "; it is left as it is.";

// A document as the undo found it.
struct Found {
  DocumentState state = DocumentState::kMissing;
  std::string target;  // links resolved
  FileAttributes attributes;
  std::string contents;
  std::string why;  // when it can't be looked at
};

Found Look(FileSystem& fs, const HistoryDocument& document) {
  Found found;
  Status status = fs.GetAttributes(document.path, &found.attributes);
  if (!status.ok()) {
    found.why = "it could not be examined (" + status.reason() + ")";
    return found;
  }
  if (!found.attributes.exists || !found.attributes.isRegular) return found;
  found.target = document.path;
  if (found.attributes.isLink) {
    status = fs.ResolvePath(document.path, &found.target);
    if (!status.ok()) {
      found.why = "the link could not be followed (" + status.reason() + ")";
      return found;
    }
  }
  FileAttributes read;
  status = fs.ReadFile(found.target, &read, &found.contents);
  if (!status.ok() || !read.SameFileAs(found.attributes)) {
    found.why = status.ok() ? "another program replaced it while it was read"
                            : "it could not be read (" + status.reason() + ")";
    return found;
  }
  found.attributes.size = read.size;
  found.attributes.modifiedNanoseconds = read.modifiedNanoseconds;
  found.attributes.hasExtendedAttributes = read.hasExtendedAttributes;
  const std::string hash = Sha256Hex(found.contents);
  found.state = hash == document.after_hash    ? DocumentState::kAsLeft
                : hash == document.before_hash ? DocumentState::kAsBefore
                                               : DocumentState::kChangedSince;
  return found;
}

// A document whose content before waits in a temporary file beside it.
struct Pending {
  std::size_t index;
  std::string target;
  FileAttributes attributes;
  std::string temporary;
  HistoryDocument record;
  // What it holds until the undo, for the undo's undo: compressed beside
  // the run.
  std::future<KeptContents> now;
};

class BatchedUndo {
 public:
  BatchedUndo(HistoryStore& store, std::int64_t undo_run, FileSystem& fs,
              FolderLocks& locks, RunOutcome& outcome)
      : store_(store),
        undo_run_(undo_run),
        fs_(fs),
        locks_(locks),
        outcome_(outcome) {}

  void Prepare(std::size_t index, const HistoryDocument& document);
  bool Full() const { return pending_.size() >= kBatchDocuments; }
  void Commit();
  void Finish() { locks_.SyncFileSystems(replaced_in_); }

 private:
  void Refuse(std::size_t index, Reason reason, const std::string& why) {
    outcome_.Leave(index, Verdict::kRefused, reason, why + kLeft);
  }
  ReplaceRequest Request(const Pending& pending) const {
    ReplaceRequest request;
    request.target = pending.target;
    request.like = pending.attributes;
    if (pending.attributes.hasExtendedAttributes) {
      request.attributes_from = pending.target;
    }
    request.expected = &pending.attributes;
    request.sync_folder = false;
    return request;
  }

  HistoryStore& store_;
  const std::int64_t undo_run_;
  FileSystem& fs_;
  FolderLocks& locks_;
  RunOutcome& outcome_;
  std::vector<Pending> pending_;
  std::set<std::string> replaced_in_;
  ContentWorker worker_;
};

void BatchedUndo::Prepare(std::size_t index, const HistoryDocument& document) {
  Status locked = locks_.Take(FolderOf(document.path));
  if (!locked.ok()) {
    Refuse(index, Reason::kLocked,
           locked.code() == Status::kBusy
               ? "another update or restore is working in its folder"
               : "its folder could not be locked (" + locked.reason() + ")");
    return;
  }
  Found found = Look(fs_, document);
  if (!found.why.empty()) return Refuse(index, Reason::kNotAllowed, found.why);
  switch (found.state) {
    case DocumentState::kMissing:
      return Refuse(index, Reason::kNoLongerAsLeft, "it is missing");
    case DocumentState::kChangedSince:
      return Refuse(index, Reason::kNoLongerAsLeft,
                    "it was changed since the run");
    case DocumentState::kAsBefore:
      outcome_.documents[index].verdict = Verdict::kTextNotFound;
      outcome_.documents[index].why = "it is already as it was before the run";
      return;
    case DocumentState::kAsLeft:
      break;
  }
  if (FolderOf(found.target) != FolderOf(document.path)) {
    locked = locks_.Take(FolderOf(found.target));
    if (!locked.ok()) {
      return Refuse(index, Reason::kLocked,
                    "the folder of " + found.target + " could not be locked");
    }
  }
  const std::string owners = OwnersRefusal(found.attributes);
  if (!owners.empty()) return Refuse(index, Reason::kNotAllowed, owners);
  std::string before;
  Status status = store_.FetchContent(document.before_hash, &before);
  if (!status.ok()) {
    outcome_.Leave(index, Verdict::kFailed, Reason::kHistory,
                   status.message() + kLeft);
    return;
  }
  Pending pending{index, found.target, found.attributes, "", {}, {}};
  // As the run left it: its hash is the run's after.
  pending.record = {
      document.path,        document.after_hash,
      document.before_hash, static_cast<std::int64_t>(found.contents.size()),
      document.before_size, document.encoding};
  ReplaceRequest request = Request(pending);
  request.content = before;
  status = WriteTemporary(fs_, request, &pending.temporary);
  if (!status.ok()) {
    outcome_.Leave(index, Verdict::kFailed, Reason::kWrite,
                   "it could not be written (" + status.reason() + ")" + kLeft);
    return;
  }
  pending.now = worker_.Submit(std::move(found.contents), "");
  pending_.push_back(std::move(pending));
}

void BatchedUndo::Commit() {
  std::vector<Pending> batch;
  batch.swap(pending_);
  if (batch.empty()) return;
  std::set<std::string> folders;
  for (const Pending& pending : batch) folders.insert(FolderOf(pending.target));
  Status status = locks_.SyncFileSystems(folders);
  if (status.ok()) {
    std::vector<HistoryDocument> records;
    std::vector<StoredContent> contents;
    try {
      for (Pending& pending : batch) {
        records.push_back(pending.record);
        contents.push_back(pending.now.get().before);
      }
    } catch (const std::bad_alloc&) {
      status = Status::Error("the history", "there is not enough memory");
    }
    if (status.ok()) status = store_.AddDocuments(undo_run_, records, contents);
  }
  for (const Pending& pending : batch) {
    if (!status.ok()) {
      fs_.DeleteFile(pending.temporary);
      outcome_.Leave(
          pending.index, Verdict::kFailed, Reason::kHistory,
          "it could not be recorded (" + status.message() + ")" + kLeft);
      continue;
    }
    const Status placed =
        CommitTemporary(fs_, Request(pending), pending.temporary);
    if (placed.code() == Status::kChanged) {
      outcome_.Leave(pending.index, Verdict::kFailed, Reason::kChanged,
                     "another program changed it during the undo; it is as "
                     "that program saved it.");
    } else if (!placed.ok()) {
      outcome_.Leave(
          pending.index, Verdict::kFailed, Reason::kWrite,
          "it could not be replaced (" + placed.reason() + ")" + kLeft);
    } else {
      outcome_.documents[pending.index].verdict = Verdict::kChanged;
      replaced_in_.insert(FolderOf(pending.target));
    }
  }
}

}  // namespace

Status InspectRun(HistoryStore& store, std::int64_t run, FileSystem& fs,
                  std::vector<DocumentNow>* documents) {
  std::vector<HistoryDocument> recorded;
  Status status = store.LoadDocuments(run, &recorded);
  documents->clear();
  for (HistoryDocument& document : recorded) {
    const DocumentState state = Look(fs, document).state;
    documents->push_back({std::move(document), state});
  }
  return status;
}

RunOutcome UndoRun(HistoryStore& store, std::int64_t run, RunReporter& reporter,
                   FileSystem& fs) {
  RunOutcome outcome;
  std::vector<HistoryRun> runs;
  Status status = store.ListRuns(&runs);
  std::vector<HistoryDocument> documents;
  if (status.ok()) status = store.LoadDocuments(run, &documents);
  const HistoryRun* undone = nullptr;
  for (const HistoryRun& each : runs) {
    if (each.id == run) undone = &each;
  }
  if (!status.ok() || undone == nullptr) {
    outcome.refusal = RunOutcome::Refusal::kHistory;
    outcome.problem =
        status.ok() ? "The history holds no run " + std::to_string(run) + "."
                    : HistoryRefusal(status);
    return outcome;
  }
  FolderLocks locks(fs);
  std::unique_ptr<FolderHold> hold;
  status = fs.HoldFolder(undone->folder, &hold);
  if (status.ok()) status = locks.Take(undone->folder);
  if (!status.ok()) {
    outcome.refusal = RunOutcome::Refusal::kFolder;
    outcome.problem = FolderRefusal(status, undone->folder, "undo");
    return outcome;
  }
  HistoryRun record;
  record.folder = undone->folder;
  record.kind = "undo";
  record.what = "undo of run " + std::to_string(run);
  record.undoes = run;
  status = store.BeginRun(&record);
  if (!status.ok()) {
    outcome.refusal = RunOutcome::Refusal::kHistory;
    outcome.problem = HistoryRefusal(status);
    return outcome;
  }
  BatchedUndo undo(store, record.id, fs, locks, outcome);
  const int count = static_cast<int>(documents.size());
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    if (reporter.stopRequested()) {
      outcome.stopped = true;
      for (int rest = i; rest < count; ++rest)
        outcome.Add(documents[rest].path);
      break;
    }
    const std::size_t index = outcome.Add(documents[i].path);
    reporter.showWorkingOn(documents[i].path);
    try {
      undo.Prepare(index, documents[i]);
    } catch (const std::bad_alloc&) {
      outcome.Leave(
          index, Verdict::kFailed, Reason::kMemory,
          std::string("there is not enough memory to hold it") + kLeft);
    }
    if (undo.Full()) undo.Commit();
  }
  undo.Commit();
  undo.Finish();
  FinishRun(store, record.id, outcome.stopped,
            outcome.Count(Verdict::kChanged));
  return outcome;
}

}  // namespace engine
