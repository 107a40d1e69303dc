// What the command line prints of a run, and how it exits: a line for each
// document changed or left and a summary, or one JSON object for scripts;
// progress on a terminal; and the exit status scripts test.  Also the
// reporter the runs talk to, which ends a run, after the document it is
// on, once SIGINT or SIGTERM came.

#ifndef VANTREL_CLI_RUN_OUTPUT_H_
#define VANTREL_CLI_RUN_OUTPUT_H_

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

#include "engine/run_outcome.h"
#include "engine/run_reporter.h"

namespace cli {

// The exit statuses.
enum ExitStatus {
  kChanged = 0,
  kNothingFound = 1,
  kBadInput = 2,
  kSomeLeft = 3,
  kStopped = 4,
};

// From now on SIGINT and SIGTERM ask the run to stop, however often they
// come.  Call once, before the run.
void StopOnSignals();
bool StopWasAsked();

// Tells the documents done of total on stderr, when it is a terminal, and
// answers stopRequested from the signals.  Runs over several folders share
// one: Begin tells it where the next one starts.
class CommandReporter : public engine::RunReporter {
 public:
  CommandReporter(std::size_t total, bool quiet);
  ~CommandReporter() override;

  void Begin(std::size_t done_before) { done_before_ = done_before; }
  void showWorkingOn(const std::string&) override {}
  void showStep(engine::RunStep) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int value) override;
  bool stopRequested() override { return StopWasAsked(); }

 private:
  const std::size_t total_;
  const bool shown_;
  std::size_t done_before_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
  bool drawn_ = false;
};

struct OutputStyle {
  bool json = false;
  bool quiet = false;
  bool dry_run = false;
  std::string command;  // "replace", "restore"
};

// The exit status of a run that was not refused as a whole.
ExitStatus StatusOf(const engine::RunOutcome& outcome);

// Prints outcome as style says and returns the exit status.  diffs, for a
// dry run, holds each changed document's diff by its index.
ExitStatus PrintOutcome(const engine::RunOutcome& outcome,
                        const OutputStyle& style,
                        const std::map<std::size_t, std::string>& diffs);

// Prints "vantrel-cli: error: problem" on stderr and returns kBadInput.
ExitStatus BadInput(const std::string& problem);

}  // namespace cli

#endif  // VANTREL_CLI_RUN_OUTPUT_H_
