// UpdateRun is the program's main operation: for every selected document of
// a folder it makes a backup beside it, then rewrites it as the rules say
// (by default, the first case-insensitive occurrence of the search text on
// each line replaced by the new text).  It tells each step and the progress
// through a RunReporter, returns what it did, and never leaves a document
// without a complete copy of its original content (in the document itself or in
// its backup).

#ifndef VANTREL_ENGINE_UPDATE_RUN_H_
#define VANTREL_ENGINE_UPDATE_RUN_H_

#include <string>

#include "engine/file_system.h"
#include "engine/replace_rules.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"
#include "engine/run_settings.h"
#include "engine/selection.h"

namespace engine {

// Runs the update by rules and returns what it did to each selected entry.
// A run refused as a whole (the rules, the folder) reads nothing; a
// document that fails is left and the run goes on.  Stopped through
// reporter, it ends after the document it is on; the rest are not reached.
// settings say whether .bac backups are made and where the run is
// recorded; with neither, the run is refused.  A run recorded in the
// history replaces no document whose content before is not in it.
RunOutcome UpdateRun(const std::string& folder, const Selection& entries,
                     const ReplaceRules& rules, RunReporter& reporter,
                     FileSystem& fs = FileSystem::Default(),
                     const RunSettings& settings = {});
// The same with the plain rules of one pair.
RunOutcome UpdateRun(const std::string& folder, const Selection& entries,
                     const std::string& searchText, const std::string& newText,
                     RunReporter& reporter,
                     FileSystem& fs = FileSystem::Default());

// The words of a run refused because the history can't record it: the
// file, the reason, and how to go on without it.
std::string HistoryRefusal(const Status& status);

}  // namespace engine

#endif  // VANTREL_ENGINE_UPDATE_RUN_H_
