// What both benchmarks need of a folder: its files below it, by relative
// path ("a/b.htm"), as a file list that includes subfolders hands them to a
// run, and whether a name ends in one of a few types.

#ifndef VANTREL_BENCH_BENCH_FILES_H_
#define VANTREL_BENCH_BENCH_FILES_H_

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <initializer_list>
#include <string>

#include "engine/path_rules.h"
#include "engine/selection.h"

namespace bench {

// Whether name ends in one of types, in any letter case.
inline bool HasType(const std::string& name,
                    std::initializer_list<const char*> types) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  for (const std::string type : types) {
    if (lower.size() > type.size() &&
        lower.compare(lower.size() - type.size(), type.size(), type) == 0) {
      return true;
    }
  }
  return false;
}

// Appends every regular file below folder/prefix whose name wanted takes
// to *entries, selected, and adds their sizes to *bytes.  Names starting
// with a dot are skipped.  False when folder/prefix can't be read.
inline bool ListFiles(const std::string& folder, const std::string& prefix,
                      const std::function<bool(const std::string&)>& wanted,
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
      ListFiles(folder, relative + "/", wanted, entries, bytes);
    } else if (S_ISREG(info.st_mode) && wanted(name)) {
      *bytes += info.st_size;
      entries->push_back({relative, true});
    }
  }
  closedir(dir);
  return true;
}

}  // namespace bench

#endif  // VANTREL_BENCH_BENCH_FILES_H_
