#include "engine/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace engine {

namespace {

mode_t ProcessUmask() {
  // umask() can only be read by setting it; do it once, before any thread
  // of ours could create files.
  static const mode_t mask = [] {
    mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

uid_t ProcessOwner() {
  static const uid_t owner = ::geteuid();
  return owner;
}

gid_t ProcessGroup() {
  static const gid_t group = ::getegid();
  return group;
}

// Whether the process may write a file that has a write bit.  access()
// knows about ACLs; the owner's own bit and root need no system call.
bool MayWrite(const std::string& path, const struct stat& info) {
  if (ProcessOwner() == 0) return true;
  if (ProcessOwner() == info.st_uid) return (info.st_mode & S_IWUSR) != 0;
  return ::access(path.c_str(), W_OK) == 0;
}

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(std::string path, int fd)
      : path_(std::move(path)), fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  Status Append(std::string_view data) override {
    while (!data.empty()) {
      ssize_t written = ::write(fd_, data.data(), data.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        return Status::FromErrno(path_, errno);
      }
      data.remove_prefix(static_cast<std::size_t>(written));
    }
    return Status::OK();
  }

  Status Sync() override {
    if (::fsync(fd_) != 0) return Status::FromErrno(path_, errno);
    return Status::OK();
  }

  Status Close() override {
    int fd = fd_;
    fd_ = -1;
    // A failed close can report a deferred write error (NFS, quotas).
    if (::close(fd) != 0) return Status::FromErrno(path_, errno);
    return Status::OK();
  }

 private:
  std::string path_;
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  Status GetAttributes(const std::string& path,
                       FileAttributes* attributes) override {
    *attributes = FileAttributes();
    struct stat link_info;
    if (::lstat(path.c_str(), &link_info) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return Status::OK();
      return Status::FromErrno(path, errno);
    }
    attributes->isLink = S_ISLNK(link_info.st_mode);
    struct stat info = link_info;
    if (attributes->isLink && ::stat(path.c_str(), &info) != 0) {
      // A dangling link: the name is there, but no file behind it.
      attributes->exists = true;
      return Status::OK();
    }
    attributes->exists = true;
    attributes->isRegular = S_ISREG(info.st_mode);
    attributes->mode = info.st_mode & 07777;
    attributes->owner = info.st_uid;
    attributes->group = info.st_gid;
    // Without a write bit a file counts as read-only even for root, who
    // could otherwise write anything.
    attributes->writable = (info.st_mode & 0222) != 0 && MayWrite(path, info);
    return Status::OK();
  }

  Status ResolvePath(const std::string& path, std::string* real) override {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return Status::FromErrno(path, errno);
    real->assign(resolved);
    std::free(resolved);
    return Status::OK();
  }

  Status ReadFile(const std::string& path, std::string* contents) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Status::FromErrno(path, errno);
    // Read straight into the string, whose room a caller that reuses it
    // keeps from one file to the next.
    constexpr std::size_t kMinimumRoom = 1 << 16;
    std::size_t used = 0;
    contents->resize(std::max(contents->capacity(), kMinimumRoom));
    Status status;
    for (;;) {
      if (used == contents->size()) contents->resize(2 * used);
      ssize_t got =
          ::read(fd, contents->data() + used, contents->size() - used);
      if (got < 0) {
        if (errno == EINTR) continue;
        status = Status::FromErrno(path, errno);
        break;
      }
      if (got == 0) break;
      used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    contents->resize(status.ok() ? used : 0);
    return status;
  }

  Status NewWritableFile(const std::string& path, const FileAttributes& like,
                         std::unique_ptr<WritableFile>* file) override {
    file->reset();
    const mode_t mode = like.exists ? static_cast<mode_t>(like.mode) : 0644;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode & 0777);
    if (fd < 0) return Status::FromErrno(path, errno);
    // open() applied the umask; the copy is to carry the original's bits.
    if ((mode & (ProcessUmask() | 07000)) != 0 &&
        ::fchmod(fd, mode & 07777) != 0) {
      Status status = Status::FromErrno(path, errno);
      ::close(fd);
      ::unlink(path.c_str());
      return status;
    }
    if (like.exists &&
        (like.owner != ProcessOwner() || like.group != ProcessGroup())) {
      struct stat info;
      if (::fstat(fd, &info) == 0 &&
          (info.st_uid != like.owner || info.st_gid != like.group)) {
        // Only root may give a file away; others keep at least the group
        // where they belong to it.  Neither is worth failing the file for.
        if (::fchown(fd, like.owner, like.group) != 0) {
          int ignored = ::fchown(fd, static_cast<uid_t>(-1), like.group);
          static_cast<void>(ignored);
        }
        int ignored = ::fchmod(fd, mode & 07777);  // fchown clears set-id
        static_cast<void>(ignored);
      }
    }
    *file = std::make_unique<PosixWritableFile>(path, fd);
    return Status::OK();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return Status::FromErrno(to, errno);
    }
    return Status::OK();
  }

  Status DeleteFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return Status::FromErrno(path, errno);
    return Status::OK();
  }

  Status SyncFolder(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::FromErrno(path, errno);
    Status status;
    if (::fsync(fd) != 0 && errno != EINVAL) {
      status = Status::FromErrno(path, errno);
    }
    ::close(fd);
    return status;
  }

  Status ListFolder(const std::string& path,
                    std::vector<std::string>* names) override {
    names->clear();
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) return Status::FromErrno(path, errno);
    errno = 0;
    while (struct dirent* entry = ::readdir(folder)) {
      std::string_view name(entry->d_name);
      if (name != "." && name != "..") names->emplace_back(name);
      errno = 0;
    }
    Status status;
    if (errno != 0) status = Status::FromErrno(path, errno);
    ::closedir(folder);
    return status;
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem* file_system = new PosixFileSystem;
  return *file_system;
}

}  // namespace engine
