#include "engine/update_run.h"

#include <exception>

#include "engine/batched_update.h"
#include "engine/failure_report.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"
#include "engine/update_check.h"

namespace engine {

namespace {

constexpr char kIdle[] = "Parsing Engine Idle.";

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
