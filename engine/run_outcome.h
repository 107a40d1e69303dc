// RunOutcome is what a run did, as a value: for every selected document
// its verdict (changed, text not found, refused, failed, not reached), a
// reason code for scripts and the reason in words for people, and whether
// the run was stopped or refused as a whole.  Runs fill it and return it;
// each front end (a window's closing message, the command line's lines or
// JSON) words it its own way.

#ifndef VANTREL_ENGINE_RUN_OUTCOME_H_
#define VANTREL_ENGINE_RUN_OUTCOME_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/run_reporter.h"
#include "engine/selection.h"

namespace engine {

enum class Verdict {
  kChanged,       // rewritten (an update) or put back (a restore)
  kTextNotFound,  // read, and left: nothing on it matched
  kRefused,       // left before anything was written, for a reason
  kFailed,        // left because writing it failed
  kNotReached,    // the run was stopped before it
};

// Why a document was refused or failed.  The codes are stable: scripts
// read them.
enum class Reason {
  kNone,
  kName,            // its name leads out of the folder or can't form a backup
  kSameFile,        // another name of a file, or a backup, this run changes
  kNotAllowed,      // not a file, read-only, hard links, owners, immutable...
  kContent,         // unreadable, not text, or the new text can't be written
  kBackup,          // its backup can't be made or replaced safely
  kNoRecord,        // a backup that names no document, restored without a type
  kLocked,          // another run works in its folder
  kWrite,           // writing, flushing or renaming failed
  kChanged,         // another program changed it meanwhile
  kMemory,          // not enough memory to hold it
  kHistory,         // its content before could not be put in the history
  kNoLongerAsLeft,  // an undo: changed since the run, or missing
};

// "same-file", "no-record"...: the code as scripts see it.
std::string_view ReasonCode(Reason reason);
// "changed", "not-found", "refused", "failed", "not-reached".
std::string_view VerdictCode(Verdict verdict);

struct DocumentOutcome {
  std::string path;  // as the run named it: the folder, then the entry
  Verdict verdict = Verdict::kNotReached;
  std::size_t replacements = 0;  // lines changed (updates)
  Reason reason = Reason::kNone;
  std::string why;  // refused or failed: what happened, in words
};

struct RunOutcome {
  // A run refused as a whole, before anything was read or written.
  enum class Refusal {
    kNone,
    kText,       // the texts (empty, not UTF-8, a line break in the search)
    kTooMany,    // more entries than one run takes
    kType,       // a restore type that would make backups or leave the folder
    kFolder,     // the folder could not be opened or locked
    kHistory,    // the history could not record the run
    kNoWayBack,  // neither backups nor the history would keep the originals
  };

  Refusal refusal = Refusal::kNone;
  std::string problem;  // the refusal, in words
  // Every selected entry, in list order.
  std::vector<DocumentOutcome> documents;
  bool stopped = false;

  // Appends a document, not reached yet; returns its index.
  std::size_t Add(std::string path) {
    DocumentOutcome& added = documents.emplace_back();
    added.path = std::move(path);
    return documents.size() - 1;
  }
  // Marks documents[index] as left, for reason.
  void Leave(std::size_t index, Verdict verdict, Reason reason,
             std::string why) {
    DocumentOutcome& document = documents[index];
    document.verdict = verdict;
    document.reason = reason;
    document.why = std::move(why);
  }
  std::size_t Count(Verdict verdict) const;
  // Replacements in the documents that changed.
  std::size_t Replacements() const;
  // Refused or failed.
  std::size_t Left() const {
    return Count(Verdict::kRefused) + Count(Verdict::kFailed);
  }
  // Adds what other did (a run over another folder) to this outcome.
  void Merge(RunOutcome&& other);
};

// Tells reporter a run's progress at entry position, then: false when the
// run is to stop (outcome stopped, the rest added as not reached) or the
// entry is not selected; else adds it to outcome, with its index in *index.
bool NextEntry(RunReporter& reporter, const std::string& folder,
               const Selection& entries, int position, RunOutcome* outcome,
               std::size_t* index);

// Adds the selected entries of folder from position from on, as not
// reached: the run stopped before them.
void AddNotReached(const std::string& folder, const Selection& entries,
                   std::size_t from, RunOutcome* outcome);

}  // namespace engine

#endif  // VANTREL_ENGINE_RUN_OUTCOME_H_
