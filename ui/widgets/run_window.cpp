#include "ui/widgets/run_window.h"

#include "engine/history/undo_run.h"
#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "ui/widgets/failure_report.h"

namespace {

constexpr char kIdle[] = "Parsing Engine Idle.";

// The documents a run left, in list order, with what became of each.
FailureReport LeftDocuments(const engine::RunOutcome& outcome) {
  FailureReport failures;
  for (const engine::DocumentOutcome& document : outcome.documents) {
    if (document.verdict == engine::Verdict::kRefused ||
        document.verdict == engine::Verdict::kFailed) {
      failures.Add(document.path, document.why);
    }
  }
  return failures;
}

// After a run that changed documents: the window's idle state, with how
// the run ended.
void ShowIdle(RunWindow& window, const char* ending) {
  window.disableUpdate();
  window.showWorkingOn(kIdle);
  window.showOperation(ending);
}

// The update's titles: its first checks had their own.
const char* UpdateRefusalTitle(engine::RunOutcome::Refusal refusal) {
  return refusal == engine::RunOutcome::Refusal::kText ? "Oops" : "Oops..";
}

}  // namespace

void RunWindow::showStep(engine::RunStep step) {
  switch (step) {
    case engine::RunStep::kScanning:
      showOperation("Scanning...");
      return;
    case engine::RunStep::kBackingUp:
      showOperation("Performing Backup...");
      return;
    case engine::RunStep::kUpdating:
      showOperation("Updating...");
      return;
  }
}

int UpdateInWindow(const std::string& folder, const engine::Selection& entries,
                   const std::string& search_text, const std::string& new_text,
                   RunWindow& window, engine::FileSystem& fs) {
  return UpdateInWindow(folder, entries,
                        engine::PlainRules(search_text, new_text), window, fs);
}

int UpdateInWindow(const std::string& folder, const engine::Selection& entries,
                   const engine::ReplaceRules& rules, RunWindow& window,
                   engine::FileSystem& fs,
                   const engine::RunSettings& settings) {
  const engine::RunOutcome outcome =
      engine::UpdateRun(folder, entries, rules, window, fs, settings);
  if (outcome.refusal != engine::RunOutcome::Refusal::kNone) {
    window.showMessage(outcome.problem, UpdateRefusalTitle(outcome.refusal));
    return 0;
  }
  const int count = static_cast<int>(entries.size());
  const int updated =
      static_cast<int>(outcome.Count(engine::Verdict::kChanged));
  const std::size_t not_found = outcome.Count(engine::Verdict::kTextNotFound);
  const FailureReport failures = LeftDocuments(outcome);
  if (!failures.empty()) {
    window.showMessage(
        failures.Message(
            failures.size() == 1 ? "This document could not be updated:"
                                 : "These documents could not be updated:",
            "No original was lost: each of them is unchanged or has a "
            "complete backup beside it."),
        "Oops..");
  }
  if (outcome.stopped) {
    window.setProgressValue(0);
    window.showMessage("The update was stopped. Successfully updated " +
                           std::to_string(updated) +
                           " documents; the other documents are unchanged.",
                       "Stopped.");
    if (updated > 0) {
      ShowIdle(window, "Stopped.");
    } else {
      window.showOperation("Stopped.");
    }
  } else if (updated > 0) {
    // Without backups the message must not speak of them.
    std::string prompt =
        "Successfully updated " + std::to_string(updated) + " documents. " +
        (settings.keep_backups
             ? "Backup copies of each file archived successfully."
             : "The originals are kept in the history.");
    if (not_found > 0) {
      prompt += " " + std::to_string(not_found) +
                " selected documents did not contain the text and were left "
                "as they were.";
    }
    window.setProgressValue(count);
    window.showMessage(prompt, "Job Complete.");
    window.setProgressValue(0);
    ShowIdle(window, "Completed.");
  } else if (!failures.empty()) {
    // "No files selected" or "not found" would be untrue here.
    window.setProgressValue(0);
  } else {
    window.setProgressValue(count);
    window.showMessage(not_found > 0 ? "The text was not found in the selected "
                                       "documents. Nothing was changed."
                                     : "No files selected to modify.",
                       "Oops..");
    window.setProgressValue(0);
  }
  return updated;
}

void RestoreInWindow(const std::string& type, const std::string& folder,
                     const engine::Selection& entries, RunWindow& window,
                     engine::FileSystem& fs, engine::HistoryStore* history) {
  if (type == kChooseType) {
    window.showMessage("Please select a file type to restore to.", "Oops...");
    return;
  }
  const engine::RunOutcome outcome =
      engine::RestoreRun(type, folder, entries, window, fs, history);
  if (outcome.refusal != engine::RunOutcome::Refusal::kNone) {
    window.showMessage(outcome.problem, "Oops...");
    return;
  }
  const FailureReport failures = LeftDocuments(outcome);
  if (!failures.empty()) {
    window.showMessage(
        failures.Message(
            failures.size() == 1 ? "This backup could not be restored:"
                                 : "These backups could not be restored:",
            "Nothing was lost: a backup that was not restored is still in "
            "its folder."),
        "Oops...");
  }
  const std::string restored =
      std::to_string(outcome.Count(engine::Verdict::kChanged));
  window.refreshList();
  window.setProgressValue(0);
  if (outcome.stopped) {
    window.showMessage("The restore was stopped. " + restored +
                           " archived files successfully restored; the "
                           "other backups are unchanged.",
                       "Stopped.");
    return;
  }
  window.showMessage(restored + " archived files successfully restored.",
                     "Complete.");
}

int UndoInWindow(engine::HistoryStore& store, std::int64_t run,
                 RunWindow& window, engine::FileSystem& fs) {
  const engine::RunOutcome outcome = engine::UndoRun(store, run, window, fs);
  if (outcome.refusal != engine::RunOutcome::Refusal::kNone) {
    window.showMessage(outcome.problem, "Oops..");
    return 0;
  }
  const FailureReport left = LeftDocuments(outcome);
  if (!left.empty()) {
    window.showMessage(
        left.Message(left.size() == 1
                         ? "This document was left as it is:"
                         : "These documents were left as they are:",
                     "Nothing was lost: each of them is as it was before "
                     "the undo."),
        "Oops..");
  }
  const int put_back =
      static_cast<int>(outcome.Count(engine::Verdict::kChanged));
  window.setProgressValue(0);
  window.showMessage(
      (outcome.stopped ? "The undo was stopped. " : std::string()) +
          std::to_string(put_back) + " of the run's " +
          std::to_string(outcome.documents.size()) +
          " documents were put back as they were before it.",
      outcome.stopped ? "Stopped." : "Undo Complete.");
  window.refreshList();
  return put_back;
}
