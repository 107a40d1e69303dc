// UpdateRun is the program's main operation: for every selected document of
// a folder it makes a backup beside it, then rewrites it with the first
// case-insensitive occurrence of the search text on each line replaced by
// the new text.  It reports each step, the progress and its closing message
// through a RunReporter, and never leaves a document without a complete copy
// of its original content (in the document itself or in its backup).

#ifndef VANTREL_ENGINE_UPDATE_RUN_H_
#define VANTREL_ENGINE_UPDATE_RUN_H_

#include <cstdint>
#include <string>

#include "engine/file_system.h"
#include "engine/run_reporter.h"
#include "engine/selection.h"

namespace engine {

// Runs the update and returns the number of documents rewritten.  Input
// errors (an empty text, nothing selected) and failed documents are told to
// the user through reporter; a failed document is left and the run goes on.
std::int32_t UpdateRun(const std::string& folder, const Selection& entries,
                       const std::string& searchText,
                       const std::string& newText, RunReporter& reporter,
                       FileSystem& fs = FileSystem::Default());

}  // namespace engine

#endif  // VANTREL_ENGINE_UPDATE_RUN_H_
