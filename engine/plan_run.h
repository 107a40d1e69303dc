// PlanRun is an update that writes nothing: the same refusals, checks and
// plans as UpdateRun, document by document in list order, handing each
// document that would change to the caller with its bytes and its complete
// plan (a dry run prints them as a diff).  It takes no lock.

#ifndef VANTREL_ENGINE_PLAN_RUN_H_
#define VANTREL_ENGINE_PLAN_RUN_H_

#include <functional>
#include <string>

#include "engine/file_system.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"
#include "engine/selection.h"
#include "engine/update_check.h"

namespace engine {

// Called for each document that would change, on the run's thread, with
// its index in the outcome's documents; checked is valid only during the
// call.
using PlannedChange =
    std::function<void(std::size_t index, const CheckedDocument& checked)>;

// Works out what UpdateRun(folder, entries, rules) would do now and
// returns it, kChanged meaning "would change".  Stops, as the update does,
// when reporter says so.
RunOutcome PlanRun(const std::string& folder, const Selection& entries,
                   const ReplaceRules& rules, RunReporter& reporter,
                   const PlannedChange& changed,
                   FileSystem& fs = FileSystem::Default());

}  // namespace engine

#endif  // VANTREL_ENGINE_PLAN_RUN_H_
