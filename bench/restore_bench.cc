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
class MessagesOnlyReporter : public engine::RunReporter {
 public:
  void showWorkingOn(const std::string&) override {}
  void showOperation(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void showMessage(const std::string& prompt,
                   const std::string& title) override {
    std::cerr << title << ": " << prompt << "\n";
    last_prompt_ = prompt;
    last_title_ = title;
  }
  void disableUpdate() override {}
  void refreshList() override {}

  bool ClosedWith(const std::string& prompt, const std::string& title) const {
    return last_prompt_ == prompt && last_title_ == title;
  }

 private:
  std::string last_prompt_;
  std::string last_title_;
};

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

  MessagesOnlyReporter reporter;
  const auto start = std::chrono::steady_clock::now();
  engine::RestoreRun(argv[2], folder, entries, reporter);
  const std::chrono::duration<double> seconds =
      std::chrono::steady_clock::now() - start;

  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("backups %zu seconds %.3f maxrss_kib %ld\n", entries.size(),
              seconds.count(), usage.ru_maxrss);
  const std::string closing =
      std::to_string(entries.size()) + " archived files successfully restored.";
  return reporter.ClosedWith(closing, "Complete.") ? 0 : 1;
}
