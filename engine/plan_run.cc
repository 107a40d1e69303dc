#include "engine/plan_run.h"

#include <exception>

#include "engine/batched_update.h"
#include "engine/path_rules.h"

namespace engine {

RunOutcome PlanRun(const std::string& folder, const Selection& entries,
                   const ReplaceRules& rules, RunReporter& reporter,
                   const PlannedChange& changed, FileSystem& fs) {
  RunOutcome outcome;
  std::unique_ptr<DocumentPlanner> planner =
      ReadyUpdate(rules, entries.size(), &outcome);
  if (!planner) return outcome;
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  if (!status.ok()) {
    outcome.refusal = RunOutcome::Refusal::kFolder;
    outcome.problem = "The folder " + folder + " could not be opened (" +
                      status.reason() + "). Nothing was changed.";
    return outcome;
  }
  UpdateCheck check(*planner, fs, folder,
                    [&reporter] { return reporter.stopRequested(); });
  CheckedDocument checked;  // reused: its buffers keep their room
  const int count = static_cast<int>(entries.size());
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    std::size_t index;
    if (!NextEntry(reporter, folder, entries, i, &outcome, &index)) {
      if (outcome.stopped) break;
      continue;
    }
    DocumentOutcome& document = outcome.documents[index];
    reporter.showWorkingOn(document.path);
    std::string why;
    CheckResult result = CheckResult::kRefused;
    try {
      result = check.Check(document.path, &checked, &why);
    } catch (const std::exception& failure) {
      outcome.Leave(index, Verdict::kFailed, MemoryReason(failure),
                    MemoryFailure(failure) + kUnchanged);
      continue;
    }
    switch (result) {
      case CheckResult::kWillChange:
        document.verdict = Verdict::kChanged;
        document.replacements = checked.plan.replacements;
        if (changed) changed(index, checked);
        break;
      case CheckResult::kTextNotFound:
        document.verdict = Verdict::kTextNotFound;
        break;
      case CheckResult::kRefused:
        outcome.Leave(index, Verdict::kRefused,
                      RefusalReason(checked.refused_at), why + kUnchanged);
        break;
      case CheckResult::kStopped:
        outcome.stopped = true;
        AddNotReached(folder, entries, static_cast<std::size_t>(i) + 1,
                      &outcome);
        return outcome;
    }
  }
  return outcome;
}

}  // namespace engine
