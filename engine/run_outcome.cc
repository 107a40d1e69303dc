#include "engine/run_outcome.h"

#include <iterator>

#include "engine/path_rules.h"

namespace engine {

std::string_view ReasonCode(Reason reason) {
  switch (reason) {
    case Reason::kNone:
      return "";
    case Reason::kName:
      return "name";
    case Reason::kSameFile:
      return "same-file";
    case Reason::kNotAllowed:
      return "not-allowed";
    case Reason::kContent:
      return "content";
    case Reason::kBackup:
      return "backup";
    case Reason::kNoRecord:
      return "no-record";
    case Reason::kLocked:
      return "locked";
    case Reason::kWrite:
      return "write";
    case Reason::kChanged:
      return "changed-meanwhile";
    case Reason::kMemory:
      return "memory";
    case Reason::kHistory:
      return "history";
    case Reason::kNoLongerAsLeft:
      return "changed-since";
  }
  return "";
}

std::string_view VerdictCode(Verdict verdict) {
  switch (verdict) {
    case Verdict::kChanged:
      return "changed";
    case Verdict::kTextNotFound:
      return "not-found";
    case Verdict::kRefused:
      return "refused";
    case Verdict::kFailed:
      return "failed";
    case Verdict::kNotReached:
      return "not-reached";
  }
  return "";
}

std::size_t RunOutcome::Count(Verdict verdict) const {
  std::size_t count = 0;
  for (const DocumentOutcome& document : documents) {
    if (document.verdict == verdict) ++count;
  }
  return count;
}

std::size_t RunOutcome::Replacements() const {
  std::size_t replacements = 0;
  for (const DocumentOutcome& document : documents) {
    if (document.verdict == Verdict::kChanged) {
      replacements += document.replacements;
    }
  }
  return replacements;
}

void RunOutcome::Merge(RunOutcome&& other) {
  if (refusal == Refusal::kNone && other.refusal != Refusal::kNone) {
    refusal = other.refusal;
    problem = std::move(other.problem);
  }
  documents.insert(documents.end(),
                   std::make_move_iterator(other.documents.begin()),
                   std::make_move_iterator(other.documents.end()));
  stopped = stopped || other.stopped;
}

bool NextEntry(RunReporter& reporter, const std::string& folder,
               const Selection& entries, int position, RunOutcome* outcome,
               std::size_t* index) {
  reporter.setProgressValue(position);
  const auto at = static_cast<std::size_t>(position);
  if (reporter.stopRequested()) {
    outcome->stopped = true;
    AddNotReached(folder, entries, at, outcome);
    return false;
  }
  if (!entries[at].selected) return false;
  *index = outcome->Add(documentPath(folder, entries[at].name));
  return true;
}

void AddNotReached(const std::string& folder, const Selection& entries,
                   std::size_t from, RunOutcome* outcome) {
  for (std::size_t i = from; i < entries.size(); ++i) {
    if (entries[i].selected)
      outcome->Add(documentPath(folder, entries[i].name));
  }
}

}  // namespace engine
