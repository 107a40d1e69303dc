// Runs one update over every document below a folder and prints how many
// documents and bytes it went through and how long it took.  With
// --preview it runs the preview of that update instead, which writes
// nothing, and also prints how many lines would change.
//
//   update_bench [--preview] FOLDER SEARCH NEW

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "engine/path_rules.h"
#include "engine/preview.h"
#include "engine/process_limits.h"
#include "engine/update_run.h"

namespace {

class MessagesOnlyReporter : public engine::RunReporter {
 public:
  void showWorkingOn(const std::string&) override {}
  void showOperation(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void showMessage(const std::string& prompt,
                   const std::string& title) override {
    std::cerr << title << ": " << prompt << "\n";
  }
  void disableUpdate() override {}
  void refreshList() override {}
};

bool IsDocumentName(const std::string& name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  for (const char* type : {".htm", ".asp", ".hts", ".mv", ".cfm"}) {
    const std::string suffix(type);
    if (lower.size() > suffix.size() &&
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) ==
            0) {
      return true;
    }
  }
  return false;
}

// Every document below folder, by its path relative to it ("a/b.htm"), as
// a file list that includes subfolders hands them to a run.
bool ListDocuments(const std::string& folder, const std::string& prefix,
                   engine::Selection* entries, long long* bytes) {
  DIR* dir = opendir(engine::documentPath(folder, prefix).c_str());
  if (dir == nullptr) return false;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name[0] == '.') continue;
    struct stat info;
    const std::string relative = prefix + name;
    if (stat(engine::documentPath(folder, relative).c_str(), &info) != 0) {
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      ListDocuments(folder, relative + "/", entries, bytes);
    } else if (S_ISREG(info.st_mode) && IsDocumentName(name)) {
      *bytes += info.st_size;
      entries->push_back({relative, true});
    }
  }
  closedir(dir);
  return true;
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
  if (!ListDocuments(folder, "", &entries, &bytes)) {
    std::perror(folder.c_str());
    return 1;
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });

  MessagesOnlyReporter reporter;
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
    updated = engine::UpdateRun(folder, entries, argv[2], argv[3], reporter);
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
