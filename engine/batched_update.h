// BatchedUpdater writes what the update's checks decide, a batch of
// documents at a time: each document's backup and new content go to
// temporary files beside them, then one flush makes the batch durable, the
// backups take their names (an older backup stepping aside until its
// document is replaced), one more flush, and the documents are replaced.
// It belongs to one update run and is used from that run's thread alone.

#ifndef VANTREL_ENGINE_BATCHED_UPDATE_H_
#define VANTREL_ENGINE_BATCHED_UPDATE_H_

#include <cstddef>
#include <exception>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_system.h"
#include "engine/history/content_worker.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"
#include "engine/run_settings.h"
#include "engine/safe_replace.h"
#include "engine/update_check.h"

namespace engine {

// How one document came out of the checks.
enum class Outcome { kWritten, kTextNotFound, kFailed, kStopped };

// What a document's message says when an exception (out of memory, most
// likely) ended its work.
std::string MemoryFailure(const std::exception& failure);
Reason MemoryReason(const std::exception& failure);
// The reason code of a document the checks refused at step.
Reason RefusalReason(ExamineStep step);

// What ends the message of a document left as it was.
inline constexpr char kUnchanged[] = "; the document is unchanged.";

class BatchedUpdater {
 public:
  BatchedUpdater(const DocumentPlanner& planner, const std::string& folder,
                 RunReporter& reporter, FileSystem& fs, FolderLocks& locks,
                 RunOutcome& outcome, const RunSettings& settings = {},
                 std::int64_t history_run = 0)
      : check_(planner, fs, folder,
               [&reporter] { return reporter.stopRequested(); }),
        locks_(locks),
        reporter_(reporter),
        fs_(fs),
        outcome_(outcome),
        settings_(settings),
        history_run_(history_run) {}

  // Checks outcome's document at index and, when it is to change, writes
  // its backup and its new content to temporary files beside them.  The
  // document's verdict is set when it is left, or once it is replaced.
  Outcome Prepare(std::size_t index);
  // Whether the batch is as large as one flush should take.
  bool Full() const;
  // Flushes what Prepare wrote and records the batch in the history, then
  // puts each backup and, once the backups are durable, each document in
  // place.  Returns how many were updated.
  int Commit();
  // Flushes the names of the documents replaced so far.
  void Finish();

 private:
  // A document whose backup and new content wait in temporary files.
  struct Pending {
    std::size_t index;  // in the outcome
    std::size_t replacements;
    std::string document;
    std::string backup;
    std::string target;
    FileAttributes attributes;
    std::string backup_temporary;
    std::string document_temporary;
    // Where the older backup waits, until the document is replaced; empty
    // when there was none.
    std::string older_backup = {};
    // The document's record and its content before, for the history.
    HistoryDocument record = {};
    std::future<KeptContents> kept = {};
  };

  void Fail(const Pending& pending, Reason reason, const std::string& why,
            bool backup_in_place);
  // Leaves the document at index, refused or failed.
  void Left(std::size_t index, Verdict verdict, Reason reason,
            std::string why) {
    outcome_.Leave(index, verdict, reason, std::move(why));
  }
  // Puts the new backup in place, the older one aside; false, with the
  // document named, when the older one stays where it was.
  bool PlaceBackup(Pending* pending);
  // Puts back the older backup of a document that was not replaced (or
  // removes the new one, when there was none and it was placed), then names
  // the document with why, the document itself unchanged unless
  // changed_by_other, and where its older backup is.
  void LeaveDocument(const Pending& pending, Reason reason,
                     const std::string& why, bool placed = true,
                     bool changed_by_other = false);
  // Replaces the document of pending, whose backup is in place; false, with
  // the document named, when it is left as it was.
  bool ReplaceDocument(const Pending& pending, const Status& names_flushed);
  // Leaves a document whose backup is in place as it was, not reached:
  // the run was stopped.
  void Unreach(const Pending& pending);
  // Out of memory (or any exception) while a batch is put in place.
  void GiveUp(const Pending& pending, const std::exception& failure,
              bool placed = true);
  // Takes folder for the run; false, with the document at index left,
  // when it can't.
  bool Lock(std::size_t index, const std::string& folder);
  // Whether backup is a file this run already made a backup: on a file
  // system that ignores letter case, About.htm and about.asp share one.
  bool MadeInThisRun(const FileAttributes& backup);
  // Deletes a temporary file Prepare made, if it made one.
  void DeleteTemporary(const std::string& temporary) {
    if (!temporary.empty()) fs_.DeleteFile(temporary);
  }

  UpdateCheck check_;
  FolderLocks& locks_;
  RunReporter& reporter_;
  FileSystem& fs_;
  RunOutcome& outcome_;
  const RunSettings& settings_;
  const std::int64_t history_run_;
  CheckedDocument checked_;  // reused: its buffers keep their room
  std::unique_ptr<ContentWorker> worker_;  // made for a recorded run
  std::vector<Pending> pending_;
  std::size_t pending_bytes_ = 0;
  std::set<std::string> replaced_in_;
  // Older backups of replaced documents, deleted once those are on disk.
  std::vector<std::string> older_backups_;
  std::set<std::pair<unsigned long long, unsigned long long>> backups_made_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_BATCHED_UPDATE_H_
