// Runs one restore of every backup below a folder and prints how many backups
// it went through and how long it took.
//
//   restore_bench FOLDER TYPE

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>

#include "bench/bench_files.h"
#include "engine/path_rules.h"
#include "engine/process_limits.h"
#include "engine/restore_run.h"

namespace {

// Keeps the last message, since that is the only account of the run's
// outcome that RestoreRun gives.
// Prints what the run left, as a window would name it.
void PrintLeft(const engine::RunOutcome& outcome) {
  if (!outcome.problem.empty()) std::cerr << outcome.problem << "\n";
  for (const engine::DocumentOutcome& document : outcome.documents) {
    if (!document.why.empty()) {
      std::cerr << document.path << ": " << document.why << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // As the program does: the bench measures a run over a whole site.
  engine::RaiseOpenFileLimit();
  if (argc != 3) {
    std::cerr << "usage: restore_bench FOLDER TYPE\n";
    return 2;
  }
  std::setlocale(LC_ALL, "");
  const std::string folder = argv[1];
  engine::Selection entries;
  long long bytes = 0;
  const auto is_backup = [](const std::string& name) {
    return bench::HasType(name, {".bac"});
  };
  if (!bench::ListFiles(folder, "", is_backup, &entries, &bytes)) {
    std::perror(folder.c_str());
    return 1;
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });

  engine::SilentReporter reporter;
  const auto start = std::chrono::steady_clock::now();
  const engine::RunOutcome outcome =
      engine::RestoreRun(argv[2], folder, entries, reporter);
  const std::chrono::duration<double> seconds =
      std::chrono::steady_clock::now() - start;

  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("backups %zu seconds %.3f maxrss_kib %ld\n", entries.size(),
              seconds.count(), usage.ru_maxrss);
  PrintLeft(outcome);
  return outcome.Count(engine::Verdict::kChanged) == entries.size() ? 0 : 1;
}
