#include "cli/run_output.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

namespace cli {

namespace {

volatile std::sig_atomic_t stop_asked = 0;

extern "C" void AskToStop(int) { stop_asked = 1; }

}  // namespace

void StopOnSignals() {
  struct sigaction action = {};
  action.sa_handler = AskToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool StopWasAsked() { return stop_asked != 0; }

CommandReporter::CommandReporter(std::size_t total, bool quiet)
    : total_(total),
      shown_(!quiet && ::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

CommandReporter::~CommandReporter() {
  if (drawn_) std::fputs("\r\033[K", stderr);
}

void CommandReporter::setProgressValue(int value) {
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  const std::size_t done = done_before_ + static_cast<std::size_t>(value);
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(stderr, "\r\033[K%zu of %zu documents, %.0f a second", done,
               total_, seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
  std::fflush(stderr);
  drawn_ = true;
}

ExitStatus StatusOf(const engine::RunOutcome& outcome) {
  if (outcome.stopped) return kStopped;
  if (outcome.Left() > 0) return kSomeLeft;
  return outcome.Count(engine::Verdict::kChanged) > 0 ? kChanged
                                                      : kNothingFound;
}

namespace {

void PrintJson(const engine::RunOutcome& outcome, const OutputStyle& style,
               const std::map<std::size_t, std::string>& diffs,
               ExitStatus status) {
  using engine::Verdict;
  nlohmann::ordered_json documents = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < outcome.documents.size(); ++i) {
    const engine::DocumentOutcome& document = outcome.documents[i];
    nlohmann::ordered_json entry = {
        {"path", document.path},
        {"verdict", engine::VerdictCode(document.verdict)},
        {"replacements", document.replacements}};
    if (document.reason != engine::Reason::kNone) {
      entry["reason"] = engine::ReasonCode(document.reason);
      entry["why"] = document.why;
    }
    if (auto diff = diffs.find(i); diff != diffs.end()) {
      entry["diff"] = diff->second;
    }
    documents.push_back(std::move(entry));
  }
  const nlohmann::ordered_json out = {
      {"command", style.command},
      {"dry_run", style.dry_run},
      {"stopped", outcome.stopped},
      {"exit_status", static_cast<int>(status)},
      {"selected", outcome.documents.size()},
      {"changed", outcome.Count(Verdict::kChanged)},
      {"not_found", outcome.Count(Verdict::kTextNotFound)},
      {"refused", outcome.Count(Verdict::kRefused)},
      {"failed", outcome.Count(Verdict::kFailed)},
      {"not_reached", outcome.Count(Verdict::kNotReached)},
      {"replacements", outcome.Replacements()},
      {"documents", std::move(documents)}};
  // Paths that are not UTF-8 are shown with U+FFFD rather than refused.
  std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
}

void PrintLines(const engine::RunOutcome& outcome, const OutputStyle& style) {
  using engine::Verdict;
  for (std::size_t i = 0; i < outcome.documents.size(); ++i) {
    const engine::DocumentOutcome& document = outcome.documents[i];
    if (document.verdict == Verdict::kRefused ||
        document.verdict == Verdict::kFailed) {
      std::cerr << document.path << ": "
                << engine::VerdictCode(document.verdict) << ": " << document.why
                << "\n";
    }
    // An undo names what it found already as before, too.
    if (!style.quiet && style.command == "undo" &&
        document.verdict == Verdict::kTextNotFound) {
      std::cout << document.path << ": " << document.why << "\n";
    }
    if (style.quiet || document.verdict != Verdict::kChanged) continue;
    if (style.dry_run) {
      continue;  // its diff is printed already
    } else if (style.command == "restore") {
      std::cout << document.path << ": restored\n";
    } else if (style.command == "undo") {
      std::cout << document.path << ": put back\n";
    } else {
      std::cout << document.path << ": " << document.replacements
                << " replacements\n";
    }
  }
  if (outcome.stopped) {
    std::cerr << "Stopped: the rest of the documents were not reached.\n";
  }
  if (style.quiet) return;
  const std::size_t changed = outcome.Count(Verdict::kChanged);
  if (style.command == "restore") {
    std::cout << changed << " of " << outcome.documents.size()
              << " selected backups restored\n";
  } else if (style.command == "undo") {
    std::cout << changed << " of " << outcome.documents.size()
              << " documents put back\n";
  } else {
    std::cout << outcome.Replacements() << " replacements in " << changed
              << " of " << outcome.documents.size() << " selected documents\n";
  }
}

}  // namespace

ExitStatus PrintOutcome(const engine::RunOutcome& outcome,
                        const OutputStyle& style,
                        const std::map<std::size_t, std::string>& diffs) {
  const ExitStatus status = StatusOf(outcome);
  if (style.json) {
    PrintJson(outcome, style, diffs, status);
  } else {
    PrintLines(outcome, style);
  }
  std::cout.flush();
  return status;
}

ExitStatus BadInput(const std::string& problem) {
  std::cerr << "vantrel-cli: error: " << problem << "\n";
  return kBadInput;
}

}  // namespace cli
