#include "engine/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace engine {

namespace {

enum class Kind { kFile, kFolder, kOther };

// What the entry is, without following a link to a folder.  d_type spares
// a system call for all but links and file systems that don't fill it.
Kind KindOf(int folder_fd, const dirent& entry) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN) {
    struct stat info;
    if (fstatat(folder_fd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return Kind::kOther;
    }
    if (S_ISDIR(info.st_mode)) return Kind::kFolder;
    if (S_ISREG(info.st_mode)) return Kind::kFile;
    if (!S_ISLNK(info.st_mode)) return Kind::kOther;
    type = DT_LNK;
  }
  if (type == DT_DIR) return Kind::kFolder;
  if (type == DT_REG) return Kind::kFile;
  if (type != DT_LNK) return Kind::kOther;
  struct stat target;
  if (fstatat(folder_fd, entry.d_name, &target, 0) != 0) return Kind::kOther;
  return S_ISREG(target.st_mode) ? Kind::kFile : Kind::kOther;
}

class TreeWalk {
 public:
  TreeWalk(const WalkRules& rules, WalkListing* listing)
      : rules_(rules), listing_(listing) {}

  // Lists the folder open as fd (which it closes) whose relative path is
  // prefix ("" or ending in "/"); false with *error set when it can't be
  // read.
  bool Walk(int fd, const std::string& prefix, int* error) {
    DIR* stream = fdopendir(fd);
    if (stream == nullptr) {
      *error = errno;
      close(fd);
      return false;
    }
    std::vector<std::string> files, folders;
    errno = 0;
    while (const dirent* entry = readdir(stream)) {
      if (entry->d_name[0] == '.') continue;
      const Kind kind = KindOf(fd, *entry);
      if (kind == Kind::kFile && rules_.keep_file &&
          !rules_.keep_file(entry->d_name)) {
        continue;
      }
      if (kind == Kind::kFile) files.emplace_back(entry->d_name);
      if (kind == Kind::kFolder) folders.emplace_back(entry->d_name);
    }
    *error = errno;
    Sort(&files);
    for (const std::string& file : files) {
      if (listing_->files.size() == rules_.limit) {
        listing_->too_many = true;
        break;
      }
      listing_->files.push_back(prefix + file);
    }
    if (rules_.recursive) {
      Sort(&folders);
      for (const std::string& folder : folders) {
        if (listing_->too_many) break;
        const std::string relative = prefix + folder;
        if (rules_.enter_folder && !rules_.enter_folder(relative)) continue;
        const int sub = openat(fd, folder.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int sub_error = 0;
        if (sub < 0 || !Walk(sub, relative + "/", &sub_error)) {
          ++listing_->unreadable_folders;
        }
      }
    }
    closedir(stream);
    return *error == 0;
  }

 private:
  void Sort(std::vector<std::string>* names) const {
    if (rules_.sort) {
      rules_.sort(names);
    } else {
      std::sort(names->begin(), names->end());
    }
  }

  const WalkRules& rules_;
  WalkListing* listing_;
};

}  // namespace

Status WalkFolder(const std::string& folder, const WalkRules& rules,
                  WalkListing* listing) {
  *listing = WalkListing();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int failure = fd < 0 ? errno : 0;
  if (fd >= 0 && TreeWalk(rules, listing).Walk(fd, "", &failure)) {
    return Status::OK();
  }
  return Status::FromErrno(folder, failure);
}

}  // namespace engine
