#include "engine/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "engine/backup_record.h"

namespace engine {

namespace {

constexpr char kTemporaryPrefix[] = ".vantrel-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 16;

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

void FillAttributes(const struct stat& info, FileAttributes* attributes) {
  attributes->exists = true;
  attributes->isRegular = S_ISREG(info.st_mode);
  attributes->mode = info.st_mode & 07777;
  attributes->owner = info.st_uid;
  attributes->group = info.st_gid;
  attributes->device = info.st_dev;
  attributes->inode = info.st_ino;
  attributes->size = info.st_size;
  attributes->modifiedNanoseconds =
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL +
      info.st_mtim.tv_nsec;
}

// A name no other process can guess: the random part comes from the
// kernel, a pool at a time.
std::string RandomName() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex mutex;
  static unsigned char pool[4096];
  static std::size_t used = sizeof pool;
  std::lock_guard<std::mutex> hold(mutex);
  if (used + kTemporaryRandomLength > sizeof pool) {
    std::size_t got = 0;
    while (got < sizeof pool) {
      ssize_t n = ::getrandom(pool + got, sizeof pool - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // no entropy source: O_EXCL still keeps us safe
      got += static_cast<std::size_t>(n);
    }
    used = 0;
  }
  std::string name = kTemporaryPrefix;
  for (std::size_t i = 0; i < kTemporaryRandomLength; ++i) {
    name += kLetters[pool[used++] % 36];
  }
  return name + kTemporarySuffix;
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

  Status SetAttribute(const std::string& name,
                      const std::string& value) override {
    if (::fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) == 0) {
      return Status::OK();
    }
    if (errno == ENOTSUP) {
      return Status::Error(path_, std::strerror(errno), Status::kUnsupported);
    }
    return Status::FromErrno(path_, errno);
  }

  void CopyAttributesFrom(const std::string& path) override {
    ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
    if (size <= 0) return;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::listxattr(path.c_str(), names.data(), names.size());
    if (size <= 0) return;
    names.resize(static_cast<std::size_t>(size));
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
      const std::string name(names.c_str() + at);
      at += name.size() + 1;
      if (name == kDocumentRecordAttribute) continue;
      ssize_t length = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
      if (length < 0) continue;
      value.resize(static_cast<std::size_t>(length));
      length =
          ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
      if (length < 0) continue;
      // Attributes the process may not set (trusted.*, security.* for a
      // user) are left out; the file is no worse than one made afresh.
      int ignored = ::fsetxattr(fd_, name.c_str(), value.data(),
                                static_cast<std::size_t>(length), 0);
      static_cast<void>(ignored);
    }
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

class PosixFolderLock : public FolderLock {
 public:
  PosixFolderLock(std::string folder, int fd)
      : folder_(std::move(folder)), fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }  // releases the lock

  Status SyncFileSystem() override {
    if (::syncfs(fd_) != 0) return Status::FromErrno(folder_, errno);
    return Status::OK();
  }

 private:
  std::string folder_;
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
    if (attributes->isLink) {
      attributes->linkOwner = link_info.st_uid;
      if (::stat(path.c_str(), &info) != 0) {
        // A dangling link: the name is there, but no file behind it.
        attributes->exists = true;
        return Status::OK();
      }
    }
    FillAttributes(info, attributes);
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

  Status ReadFile(const std::string& path, FileAttributes* attributes,
                  std::string* contents) override {
    // O_NONBLOCK: a FIFO or a device swapped in for a document must not
    // hang the run; what was opened is then checked through the descriptor.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Status::FromErrno(path, errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      Status status = Status::FromErrno(path, errno);
      ::close(fd);
      return status;
    }
    *attributes = FileAttributes();
    FillAttributes(info, attributes);
    attributes->hasExtendedAttributes = ::flistxattr(fd, nullptr, 0) > 0;
    if (!S_ISREG(info.st_mode)) {
      ::close(fd);
      return Status::Error(path, "Not a regular file");
    }
    // Read straight into the string, whose room a caller that reuses it
    // keeps from one file to the next.
    constexpr std::size_t kMinimumRoom = 1 << 16;
    std::size_t used = 0;
    contents->resize(std::max({contents->capacity(), kMinimumRoom,
                               static_cast<std::size_t>(info.st_size) + 1}));
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

  Status NewTemporaryFile(const std::string& folder, const FileAttributes& like,
                          std::unique_ptr<WritableFile>* file,
                          std::string* path) override {
    file->reset();
    const mode_t mode = static_cast<mode_t>(like.mode) & 07777;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
      *path = prefix + RandomName();
      // The original's own bits (less the umask until fixed below): nobody
      // gets more access to the new file than to the one it replaces.
      fd = ::open(path->c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  mode & 0777);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Status::FromErrno(folder, errno);
    // A folder with the set-group-ID bit hands new files its own group, so
    // the owners are looked at rather than assumed.
    struct stat created;
    if (::fstat(fd, &created) != 0) {
      const int error = errno;
      ::close(fd);
      ::unlink(path->c_str());
      return Status::FromErrno(*path, error);
    }
    bool fix_mode = (mode & 07000) != 0 || (mode & ProcessUmask()) != 0;
    if (created.st_uid != like.owner || created.st_gid != like.group) {
      // Only root may give a file away; others keep at least the group
      // where they belong to it.  Neither is worth failing the file for.
      if (::fchown(fd, like.owner, like.group) != 0) {
        int ignored = ::fchown(fd, static_cast<uid_t>(-1), like.group);
        static_cast<void>(ignored);
      }
      fix_mode = true;  // fchown clears set-ID bits
    }
    if (fix_mode) {
      struct stat info;
      const bool same_owners = ::fstat(fd, &info) == 0 &&
                               info.st_uid == like.owner &&
                               info.st_gid == like.group;
      // A set-ID bit on a file of another owner would hand out rights.
      if (::fchmod(fd, same_owners ? mode : (mode & 01777)) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(path->c_str());
        return Status::FromErrno(*path, error);
      }
    }
    *file = std::make_unique<PosixWritableFile>(*path, fd);
    return Status::OK();
  }

  Status GetAttribute(const std::string& path, const std::string& name,
                      std::string* value, bool* present) override {
    *present = false;
    value->clear();
    for (;;) {
      ssize_t length = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
      if (length < 0) break;
      value->resize(static_cast<std::size_t>(length));
      length =
          ::getxattr(path.c_str(), name.c_str(), value->data(), value->size());
      if (length < 0 && errno == ERANGE) continue;  // it grew meanwhile
      if (length < 0) break;
      value->resize(static_cast<std::size_t>(length));
      *present = true;
      return Status::OK();
    }
    if (errno == ENODATA || errno == ENOTSUP) return Status::OK();
    return Status::FromErrno(path, errno);
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

  Status LockFolder(const std::string& folder,
                    std::unique_ptr<FolderLock>* lock) override {
    lock->reset();
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::FromErrno(folder, errno);
    // flock locks belong to the open file description, so two runs in one
    // process exclude each other just as two processes do.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) {
        return Status::Error(folder, "another run is working there",
                             Status::kBusy);
      }
      return Status::FromErrno(folder, error);
    }
    *lock = std::make_unique<PosixFolderLock>(folder, fd);
    return Status::OK();
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem* file_system = new PosixFileSystem;
  return *file_system;
}

bool IsTemporaryFileName(std::string_view name) {
  const std::string_view prefix = kTemporaryPrefix;
  const std::string_view suffix = kTemporarySuffix;
  if (name.size() <= prefix.size() + suffix.size() ||
      name.substr(0, prefix.size()) != prefix ||
      name.substr(name.size() - suffix.size()) != suffix) {
    return false;
  }
  const std::string_view middle =
      name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const auto is_lower_alnum = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  };
  if (middle.size() == kTemporaryRandomLength &&
      std::all_of(middle.begin(), middle.end(), is_lower_alnum)) {
    return true;
  }
  // Earlier versions named them after the process and a counter: "<pid>-<n>".
  const std::size_t dash = middle.find('-');
  const auto all_digits = [](std::string_view digits) {
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  return dash != std::string_view::npos && all_digits(middle.substr(0, dash)) &&
         all_digits(middle.substr(dash + 1));
}

}  // namespace engine
