#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/group_runs.h"
#include "engine/history/undo_run.h"

namespace cli {

namespace {

std::string When(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  ::localtime_r(&time, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

bool OpenHistoryFor(std::unique_ptr<engine::HistoryStore>* store,
                    std::string* problem, bool for_run) {
  const engine::Status status =
      engine::OpenHistory(engine::DefaultHistoryPath(), store);
  if (status.ok()) return true;
  *problem = "the history " + status.path() + " can't be used (" +
             status.reason() + "); nothing was changed" +
             (for_run ? "; add --no-history to go on without it" : "");
  return false;
}

ExitStatus ListHistory(const HistoryOptions& options) {
  std::unique_ptr<engine::HistoryStore> store;
  std::string problem;
  if (!OpenHistoryFor(&store, &problem, false)) return BadInput(problem);
  std::vector<engine::HistoryRun> runs;
  const engine::Status status = store->ListRuns(&runs);
  if (!status.ok()) return BadInput(status.message());
  if (options.style.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const engine::HistoryRun& run : runs) {
      list.push_back({{"id", run.id},
                      {"started", When(run.started)},
                      {"ended", run.ended != 0 ? When(run.ended) : ""},
                      {"folder", run.folder},
                      {"kind", run.kind},
                      {"what", run.what},
                      {"documents", run.documents},
                      {"state", run.ending}});
    }
    std::cout << nlohmann::ordered_json{{"runs", list}}.dump(
                     2, ' ', false, nlohmann::json::error_handler_t::replace)
              << "\n";
    return kChanged;
  }
  if (runs.empty()) std::cout << "No run is recorded.\n";
  for (const engine::HistoryRun& run : runs) {
    std::cout << run.id << "  " << When(run.started) << "  " << run.ending
              << "  " << run.documents << " documents  " << run.folder << "  "
              << run.what << "\n";
  }
  return kChanged;
}

ExitStatus Undo(const HistoryOptions& options) {
  std::unique_ptr<engine::HistoryStore> store;
  std::string problem;
  if (!OpenHistoryFor(&store, &problem, false)) return BadInput(problem);
  std::int64_t run = 0;
  if (options.run == "last") {
    std::vector<engine::HistoryRun> runs;
    const engine::Status status = store->ListRuns(&runs);
    if (!status.ok()) return BadInput(status.message());
    if (runs.empty()) return BadInput("the history holds no run");
    run = runs.front().id;
  } else {
    std::size_t end = 0;
    try {
      run = std::stoll(options.run, &end);
    } catch (const std::exception&) {
      end = 0;
    }
    if (end == 0 || end != options.run.size() || run <= 0) {
      return BadInput("RUN must be a run's number or \"last\", not \"" +
                      options.run + "\"");
    }
  }
  CommandReporter reporter(0, true);
  const engine::RunOutcome outcome = engine::UndoRun(*store, run, reporter);
  if (outcome.refusal != engine::RunOutcome::Refusal::kNone) {
    return BadInput(outcome.problem);
  }
  return PrintOutcome(outcome, options.style, {});
}

}  // namespace cli
