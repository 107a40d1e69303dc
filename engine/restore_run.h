// RestoreRun undoes an update: each selected backup of a folder is copied
// over the document it was made from, under the chosen type, and then
// deleted.  A backup is deleted only once its copy is complete and on disk.

#ifndef VANTREL_ENGINE_RESTORE_RUN_H_
#define VANTREL_ENGINE_RESTORE_RUN_H_

#include <string>

#include "engine/file_system.h"
#include "engine/history/history_store.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"
#include "engine/selection.h"

namespace engine {

// Restores the selected backups of folder as documents ending in typeText
// (an empty typeText: each as the document its record names, whatever its
// type) and returns what became of each.  A type that would make backups
// or leave the folder is refused as a whole and touches nothing.  With a
// history, each document a backup replaces is recorded first.
RunOutcome RestoreRun(const std::string& typeText, const std::string& folder,
                      const Selection& entries, RunReporter& reporter,
                      FileSystem& fs = FileSystem::Default(),
                      HistoryStore* history = nullptr);

}  // namespace engine

#endif  // VANTREL_ENGINE_RESTORE_RUN_H_
