#include "engine/update_run.h"

#include <exception>

#include "engine/batched_update.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"
#include "engine/update_check.h"

namespace engine {

RunOutcome UpdateRun(const std::string& folder, const Selection& entries,
                     const ReplaceRules& rules, RunReporter& reporter,
                     FileSystem& fs, const RunSettings& settings) {
  RunOutcome outcome;
  if (!settings.keep_backups && settings.history == nullptr) {
    outcome.refusal = RunOutcome::Refusal::kNoWayBack;
    outcome.problem =
        "With no .bac backups and no history, nothing would keep the "
        "documents' content before the update, and there would be no way "
        "back. Keep the backups or turn the history on. Nothing was changed.";
    return outcome;
  }
  std::unique_ptr<DocumentPlanner> planner =
      ReadyUpdate(rules, entries.size(), &outcome);
  if (!planner) return outcome;
  // Everything below the folder is reached through this one descriptor,
  // whatever is renamed or swapped in the folder meanwhile.
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  FolderLocks locks(fs);
  if (status.ok()) status = locks.Take(folder);
  if (!status.ok()) {
    outcome.refusal = RunOutcome::Refusal::kFolder;
    outcome.problem = FolderRefusal(status, folder, "update");
    return outcome;
  }

  HistoryRun record;
  if (settings.history != nullptr) {
    record.folder = folder;
    record.kind = "update";
    record.what = settings.what;
    status = settings.history->BeginRun(&record);
    if (!status.ok()) {
      outcome.refusal = RunOutcome::Refusal::kHistory;
      outcome.problem = HistoryRefusal(status);
      return outcome;
    }
  }
  const int count = static_cast<int>(entries.size());
  BatchedUpdater updater(*planner, folder, reporter, fs, locks, outcome,
                         settings, record.id);
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    std::size_t index;
    if (!NextEntry(reporter, folder, entries, i, &outcome, &index)) {
      if (outcome.stopped) break;
      continue;
    }
    Outcome prepared = Outcome::kFailed;
    try {
      prepared = updater.Prepare(index);
    } catch (const std::exception& failure) {
      // Out of memory on one document fails that document only.
      outcome.Leave(index, Verdict::kFailed, MemoryReason(failure),
                    MemoryFailure(failure) + kUnchanged);
    }
    if (prepared == Outcome::kStopped) {
      outcome.stopped = true;
      AddNotReached(folder, entries, i + 1, &outcome);
      break;
    }
    if (updater.Full()) {
      updater.Commit();
      if (outcome.stopped) {
        AddNotReached(folder, entries, static_cast<std::size_t>(i) + 1,
                      &outcome);
        break;
      }
    }
  }
  updater.Commit();
  updater.Finish();
  if (settings.history != nullptr) {
    // A run whose end is not recorded shows as interrupted: still true to
    // what it changed.
    FinishRun(*settings.history, record.id, outcome.stopped,
              outcome.Count(Verdict::kChanged));
  }
  return outcome;
}

std::string HistoryRefusal(const Status& status) {
  return "The history " + status.path() +
         " can't record the run: " + status.reason() +
         ". Nothing was changed. To go on without the history, turn "
         "recording off in the History window (or use --no-history).";
}

RunOutcome UpdateRun(const std::string& folder, const Selection& entries,
                     const std::string& searchText, const std::string& newText,
                     RunReporter& reporter, FileSystem& fs) {
  return UpdateRun(folder, entries, PlainRules(searchText, newText), reporter,
                   fs);
}

}  // namespace engine
