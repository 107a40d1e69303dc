#include "cli/documents.h"

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "engine/folder_walk.h"
#include "engine/locale_text.h"
#include "engine/path_rules.h"

namespace cli {

namespace {

// The path as the user would read it: no "./" in front, no "/" behind.
std::string Shown(std::string path) {
  while (path.size() > 2 && path.starts_with("./")) path.erase(0, 2);
  while (path.size() > 1 && path.ends_with("/")) path.pop_back();
  return path == "." ? std::string() : path;
}

// The path with the working folder in front, spelled as given otherwise:
// links in it are for the run to follow, once.
std::string Absolute(const std::string& path) {
  std::string absolute = path;
  if (!path.starts_with("/")) {
    char* here = ::getcwd(nullptr, 0);
    absolute = std::string(here != nullptr ? here : ".") + "/" + path;
    std::free(here);
  }
  std::string clean;
  for (std::size_t i = 0; i < absolute.size(); ++i) {
    if (absolute[i] == '/' && clean.ends_with("/")) continue;
    clean.push_back(absolute[i]);
  }
  for (std::size_t at; (at = clean.find("/./")) != std::string::npos;) {
    clean.erase(at, 2);
  }
  if (clean.ends_with("/.")) clean.resize(clean.size() - 2);
  while (clean.size() > 1 && clean.ends_with("/")) clean.pop_back();
  return clean.empty() ? "/" : clean;
}

bool Matches(const std::vector<std::string>& globs, const std::string& text,
             int flags) {
  for (const std::string& glob : globs) {
    if (::fnmatch(glob.c_str(), text.c_str(), flags) == 0) return true;
  }
  return false;
}

bool IsBackupName(const std::string& name) {
  const std::optional<std::size_t> keep =
      engine::BytesBeforeLastCharacters(name, 3);
  return keep && engine::SameTextIgnoringCase(name.substr(*keep), "bac");
}

class Gatherer {
 public:
  Gatherer(const GatherRules& rules, std::vector<DocumentGroup>* groups)
      : rules_(rules), groups_(groups) {}

  bool AddPath(const std::string& path, std::string* error) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      *error = path + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISREG(info.st_mode)) {
      const std::string absolute = Absolute(path);
      const std::size_t slash = absolute.find_last_of('/');
      Add(slash == 0 ? "/" : absolute.substr(0, slash),
          absolute.substr(slash + 1), Shown(path));
      return true;
    }
    if (!S_ISDIR(info.st_mode)) {
      *error = path + ": not a file or folder";
      return false;
    }
    return AddFolder(path, error);
  }

 private:
  bool AddFolder(const std::string& path, std::string* error) {
    engine::WalkRules walk;
    walk.recursive = rules_.recursive;
    walk.keep_file = [this](const std::string& name) {
      return Matches(rules_.include, name, FNM_CASEFOLD) &&
             !(rules_.skip_backups && IsBackupName(name));
    };
    walk.enter_folder = [this](const std::string& relative) {
      return !Matches(rules_.exclude, relative, 0);
    };
    engine::WalkListing listing;
    const engine::Status status =
        engine::WalkFolder(Absolute(path), walk, &listing);
    if (!status.ok()) {
      *error = path + ": " + status.reason();
      return false;
    }
    const std::string folder = Absolute(path);
    const std::string shown = Shown(path);
    for (const std::string& relative : listing.files) {
      if (Matches(rules_.exclude, relative, 0)) continue;
      Add(folder, relative, shown.empty() ? relative : shown + "/" + relative);
    }
    return true;
  }

  void Add(const std::string& folder, const std::string& name,
           std::string shown) {
    struct stat info;
    const std::string path = engine::documentPath(folder, name);
    // Named twice: the run would change it twice.  One that can't be
    // looked at is left for the run to refuse with its reason.
    if (::stat(path.c_str(), &info) == 0 &&
        !seen_.insert({info.st_dev, info.st_ino}).second) {
      return;
    }
    auto [group, added] = index_.try_emplace(folder, groups_->size());
    if (added) groups_->push_back({folder, {}, {}});
    DocumentGroup& into = (*groups_)[group->second];
    into.entries.push_back({name, true});
    into.shown.push_back(std::move(shown));
  }

  const GatherRules& rules_;
  std::vector<DocumentGroup>* groups_;
  std::map<std::string, std::size_t> index_;
  std::set<std::pair<dev_t, ino_t>> seen_;
};

}  // namespace

bool GatherDocuments(const std::vector<std::string>& paths,
                     const GatherRules& rules,
                     std::vector<DocumentGroup>* groups, std::string* error) {
  groups->clear();
  Gatherer gatherer(rules, groups);
  if (paths.empty()) return gatherer.AddPath(".", error);
  for (const std::string& path : paths) {
    if (!gatherer.AddPath(path, error)) return false;
  }
  return true;
}

std::vector<DocumentGroup> SplitForRuns(std::vector<DocumentGroup> groups) {
  std::vector<DocumentGroup> runs;
  for (DocumentGroup& group : groups) {
    const std::size_t size = group.entries.size();
    if (size <= engine::kMaxSelectionEntries) {
      runs.push_back(std::move(group));
      continue;
    }
    for (std::size_t from = 0; from < size;
         from += engine::kMaxSelectionEntries) {
      const std::size_t to =
          std::min(size, from + engine::kMaxSelectionEntries);
      DocumentGroup part{group.folder, {}, {}};
      part.entries.assign(group.entries.begin() + from,
                          group.entries.begin() + to);
      part.shown.assign(group.shown.begin() + from, group.shown.begin() + to);
      runs.push_back(std::move(part));
    }
  }
  return runs;
}

}  // namespace cli
