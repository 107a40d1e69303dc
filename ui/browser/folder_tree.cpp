#include "ui/browser/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ui/browser/code_page.h"

namespace browser {
namespace {

enum class Kind { kFile, kFolder, kOther };

// What the entry is, without following a link to a folder.  d_type spares
// a system call for all but links and file systems that don't fill it.
Kind kindOf(int folderFd, const dirent& entry) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN) {
    struct stat info;
    if (fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      return Kind::kOther;
    if (S_ISDIR(info.st_mode)) return Kind::kFolder;
    if (S_ISREG(info.st_mode)) return Kind::kFile;
    if (!S_ISLNK(info.st_mode)) return Kind::kOther;
    type = DT_LNK;
  }
  if (type == DT_DIR) return Kind::kFolder;
  if (type == DT_REG) return Kind::kFile;
  if (type != DT_LNK) return Kind::kOther;
  // A link to a file is listed, as in a single folder; a link to a folder
  // is not followed.
  struct stat target;
  if (fstatat(folderFd, entry.d_name, &target, 0) != 0) return Kind::kOther;
  return S_ISREG(target.st_mode) ? Kind::kFile : Kind::kOther;
}

class TreeWalk {
 public:
  TreeWalk(const NamePattern& pattern, std::size_t limit, TreeListing* listing)
      : pattern_(pattern), limit_(limit), listing_(listing) {}

  // Lists the folder open as fd (which it closes) whose relative path is
  // prefix ("" or ending in "/").
  bool walk(int fd, const QByteArray& prefix, int* error) {
    DIR* stream = fdopendir(fd);
    if (!stream) {
      *error = errno;
      close(fd);
      return false;
    }
    std::vector<FolderEntry> files, folders;
    errno = 0;
    while (const dirent* entry = readdir(stream)) {
      if (entry->d_name[0] == '.') continue;
      const Kind kind = kindOf(fd, *entry);
      if (kind == Kind::kOther) continue;
      QByteArray raw(entry->d_name);
      QString name = ui::fromPathBytes(raw);
      if (kind == Kind::kFile && !pattern_.matches(name)) continue;
      (kind == Kind::kFile ? files : folders)
          .push_back({std::move(raw), std::move(name)});
    }
    *error = errno;
    sortByName(&files);
    for (FolderEntry& file : files) {
      if (listing_->files.size() == limit_) {
        listing_->tooMany = true;
        break;
      }
      QByteArray raw = prefix + file.raw;
      QString name = ui::fromPathBytes(raw);
      listing_->files.push_back({std::move(raw), std::move(name)});
    }
    sortByName(&folders);
    for (const FolderEntry& folder : folders) {
      if (listing_->tooMany) break;
      const int sub = openat(fd, folder.raw.constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      int subError = 0;
      if (sub < 0 || !walk(sub, prefix + folder.raw + '/', &subError))
        ++listing_->unreadableFolders;
    }
    closedir(stream);
    return *error == 0;
  }

 private:
  const NamePattern& pattern_;
  std::size_t limit_;
  TreeListing* listing_;
};

}  // namespace

bool readTree(const QString& folder, const NamePattern& pattern,
              std::size_t limit, TreeListing* listing, QString* error) {
  *listing = TreeListing();
  const int fd = open(ui::toPathBytes(folder).constData(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int failure = fd < 0 ? errno : 0;
  if (fd >= 0 && TreeWalk(pattern, limit, listing).walk(fd, {}, &failure))
    return true;
  *error = folder + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(failure));
  return false;
}

}  // namespace browser
