#include "cli/group_runs.h"

#include "engine/path_rules.h"

namespace cli {

bool RunGroups(const std::vector<DocumentGroup>& groups,
               CommandReporter& reporter, const GroupRun& run,
               engine::RunOutcome* outcome, std::string* problem) {
  std::size_t done = 0;
  for (const DocumentGroup& group : groups) {
    reporter.Begin(done);
    done += group.entries.size();
    engine::RunOutcome part;
    if (outcome->stopped) {
      engine::AddNotReached(group.folder, group.entries, 0, &part);
    } else {
      part = run(group, outcome->documents.size());
    }
    if (part.refusal == engine::RunOutcome::Refusal::kFolder) {
      for (std::size_t i = 0; i < group.entries.size(); ++i) {
        const std::size_t index = part.Add(group.shown[i]);
        part.Leave(index, engine::Verdict::kRefused, engine::Reason::kLocked,
                   part.problem);
      }
    } else if (part.refusal != engine::RunOutcome::Refusal::kNone) {
      *problem = part.problem;
      return false;
    }
    for (std::size_t i = 0; i < part.documents.size(); ++i) {
      part.documents[i].path = group.shown[i];
    }
    part.refusal = engine::RunOutcome::Refusal::kNone;
    outcome->Merge(std::move(part));
  }
  return true;
}

std::size_t CountDocuments(const std::vector<DocumentGroup>& groups) {
  std::size_t total = 0;
  for (const DocumentGroup& group : groups) total += group.entries.size();
  return total;
}

}  // namespace cli
