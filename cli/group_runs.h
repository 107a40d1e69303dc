// Runs one engine run per folder of documents, one after another, and
// gathers what they did into one outcome, each document named as the user
// named it.  Once a run is stopped, the documents of the folders after it
// are not reached.

#ifndef VANTREL_CLI_GROUP_RUNS_H_
#define VANTREL_CLI_GROUP_RUNS_H_

#include <functional>
#include <string>
#include <vector>

#include "cli/documents.h"
#include "cli/run_output.h"
#include "engine/run_outcome.h"

namespace cli {

// Runs the run of one folder; first is the index its first document gets
// in the whole outcome.
using GroupRun = std::function<engine::RunOutcome(const DocumentGroup& group,
                                                  std::size_t first)>;

// Fills *outcome.  A run refused for its texts or its type ends them all
// with *problem set and false; a folder another run holds has its
// documents refused, and the others go on.
bool RunGroups(const std::vector<DocumentGroup>& groups,
               CommandReporter& reporter, const GroupRun& run,
               engine::RunOutcome* outcome, std::string* problem);

// Documents in all groups.
std::size_t CountDocuments(const std::vector<DocumentGroup>& groups);

}  // namespace cli

#endif  // VANTREL_CLI_GROUP_RUNS_H_
