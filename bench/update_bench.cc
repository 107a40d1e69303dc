// Runs one update over every document below a folder and prints how many
// documents and bytes it went through and how long it took.  With
// --preview it runs the preview of that update instead, which writes
// nothing, and also prints how many lines would change.
//
//   update_bench [--preview] FOLDER SEARCH NEW

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "engine/path_rules.h"
#include "engine/preview.h"
#include "engine/process_limits.h"
#include "engine/update_run.h"

namespace {

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
  const bool preview = argc == 5 && std::string(argv[1]) == "--preview";
  if (argc != 4 && !preview) {
    std::cerr << "usage: update_bench [--preview] FOLDER SEARCH NEW\n";
    return 2;
  }
  argv += preview ? 1 : 0;
  std::setlocale(LC_ALL, "");
  const std::string folder = argv[1];
  engine::Selection entries;
  long long bytes = 0;
  const auto is_document = [](const std::string& name) {
    return bench::HasType(name, {".htm", ".asp", ".hts", ".mv", ".cfm"});
  };
  if (!bench::ListFiles(folder, "", is_document, &entries, &bytes)) {
    std::perror(folder.c_str());
    return 1;
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });

  engine::SilentReporter reporter;
  // Never freed: a window keeps its preview until it is closed, and the
  // half a million lines of a large preview would time the allocator's
  // freeing, not the preview.
  static engine::Preview& foreseen = *new engine::Preview;
  const auto start = std::chrono::steady_clock::now();
  std::int32_t updated = 0;
  if (preview) {
    engine::PreviewRun(folder, entries, argv[2], argv[3], &foreseen);
    updated = static_cast<std::int32_t>(foreseen.changed_documents);
  } else {
    const engine::RunOutcome outcome =
        engine::UpdateRun(folder, entries, argv[2], argv[3], reporter);
    updated =
        static_cast<std::int32_t>(outcome.Count(engine::Verdict::kChanged));
    PrintLeft(outcome);
  }
  const std::chrono::duration<double> seconds =
      std::chrono::steady_clock::now() - start;

  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("documents %zu updated %d bytes %lld seconds %.3f maxrss_kib %ld",
              entries.size(), updated, bytes, seconds.count(), usage.ru_maxrss);
  if (preview) std::printf(" replacements %zu", foreseen.replacements);
  std::printf("\n");
  if (!foreseen.problem.empty()) std::cerr << foreseen.problem << "\n";
  return updated == static_cast<std::int32_t>(entries.size()) ? 0 : 1;
}
