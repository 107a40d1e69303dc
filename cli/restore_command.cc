#include "cli/commands.h"
#include "cli/group_runs.h"
#include "engine/restore_run.h"

namespace cli {

namespace {

// The window asks for a type in its box; here it is an option.
void AskForType(engine::RunOutcome* outcome) {
  for (engine::DocumentOutcome& document : outcome->documents) {
    if (document.reason == engine::Reason::kNoRecord) {
      document.why =
          "it does not record the document it was made from; say the type "
          "that document had with --type (--type htm, say); the backup is "
          "kept.";
    }
  }
}

}  // namespace

ExitStatus Restore(const RestoreOptions& options) {
  if (options.type_given && options.type.empty()) {
    return BadInput("--type needs a type, such as htm");
  }
  std::vector<DocumentGroup> groups;
  std::string problem;
  if (!GatherDocuments(options.paths, options.gather, &groups, &problem)) {
    return BadInput(problem);
  }
  groups = SplitForRuns(std::move(groups));

  std::unique_ptr<engine::HistoryStore> history;
  if (!options.no_history && !OpenHistoryFor(&history, &problem)) {
    return BadInput(problem);
  }
  CommandReporter reporter(CountDocuments(groups),
                           options.style.quiet || options.style.json);
  auto run = [&](const DocumentGroup& group, std::size_t) {
    return engine::RestoreRun(options.type, group.folder, group.entries,
                              reporter, engine::FileSystem::Default(),
                              history.get());
  };
  engine::RunOutcome outcome;
  if (!RunGroups(groups, reporter, run, &outcome, &problem)) {
    return BadInput(problem);
  }
  AskForType(&outcome);
  return PrintOutcome(outcome, options.style, {});
}

}  // namespace cli
