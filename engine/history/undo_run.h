// UndoRun puts back, from the history, the content before of every
// document of an earlier run that is still as that run left it, with the
// update's care: a temporary file beside the document, flushed, recorded,
// then renamed over it, in the document's folder locked for the run, with
// its owners, permissions and links kept.  Every other document is left as
// it is and named with its state.  The undo is itself recorded as a run,
// so that it can be undone too.

#ifndef VANTREL_ENGINE_HISTORY_UNDO_RUN_H_
#define VANTREL_ENGINE_HISTORY_UNDO_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/history/history_store.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"

namespace engine {

// A document of a recorded run as it is now.
enum class DocumentState {
  kAsLeft,        // as the run left it: an undo puts it back
  kChangedSince,  // changed since the run: an undo leaves it
  kMissing,       // gone, or not a file any more
  kAsBefore,      // already as it was before the run
};

struct DocumentNow {
  HistoryDocument document;
  DocumentState state = DocumentState::kMissing;
};

// The documents of run with their states now.  Reads them; writes nothing.
Status InspectRun(HistoryStore& store, std::int64_t run, FileSystem& fs,
                  std::vector<DocumentNow>* documents);

// Undoes run (see above) and returns what became of each of its documents:
// kChanged when put back, kTextNotFound when already as before, kRefused
// (reason kNoLongerAsLeft) when changed since or missing.
RunOutcome UndoRun(HistoryStore& store, std::int64_t run, RunReporter& reporter,
                   FileSystem& fs = FileSystem::Default());

}  // namespace engine

#endif  // VANTREL_ENGINE_HISTORY_UNDO_RUN_H_
