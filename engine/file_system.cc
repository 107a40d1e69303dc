#include "engine/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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
#include "engine/held_folders.h"

namespace engine {

namespace {

constexpr char kTemporaryPrefix[] = ".vantrel-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 16;

uid_t ProcessOwner() {
  static const uid_t owner = ::geteuid();
  return owner;
}

// Whether the process may write the file name in folder at, which has a
// write bit.  faccessat knows about ACLs; the owner's own bit and root need
// no system call.
bool MayWrite(int at, const char* name, const struct stat& info) {
  if (ProcessOwner() == 0) return true;
  if (ProcessOwner() == info.st_uid) return (info.st_mode & S_IWUSR) != 0;
  return ::faccessat(at, *name == '\0' ? "." : name, W_OK, 0) == 0;
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
  attributes->links = info.st_nlink;
  attributes->modifiedNanoseconds =
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL +
      info.st_mtim.tv_nsec;
}

// Reads the open file fd whole into *contents, straight into the string,
// whose room a caller that reuses it keeps from one file to the next.
Status ReadAll(int fd, const std::string& path, const struct stat& info,
               std::string* contents) {
  constexpr std::size_t kMinimumRoom = 1 << 16;
  std::size_t used = 0;
  contents->resize(std::max({contents->capacity(), kMinimumRoom,
                             static_cast<std::size_t>(info.st_size) + 1}));
  for (;;) {
    if (used == contents->size()) contents->resize(2 * used);
    ssize_t got = ::read(fd, contents->data() + used, contents->size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      contents->clear();
      return Status::FromErrno(path, error);
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  contents->resize(used);
  return Status::OK();
}

// Gives the new file fd like's owner, group and mode.  Fails when the
// process can't: a file that would belong to another group than its
// document's could be read by people the document keeps out.
Status GiveOwners(int fd, const FileAttributes& like, mode_t mode,
                  const std::string& path) {
  struct stat created;
  if (::fstat(fd, &created) != 0) return Status::FromErrno(path, errno);
  // A folder with the set-group-ID bit hands new files its own group, so
  // the owners are looked at rather than assumed.
  if ((created.st_uid != like.owner || created.st_gid != like.group) &&
      ::fchown(fd, like.owner, like.group) != 0) {
    return Status::Error(path, std::string("its owner and group can't be "
                                           "kept (") +
                                   std::strerror(errno) + ")");
  }
  // Created with the owner's bits alone; fchown also clears set-ID bits.
  if ((created.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0) {
    return Status::FromErrno(path, errno);
  }
  return Status::OK();
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

// A link stands where the path needs a folder or a file of its own.
Status Failure(const std::string& path, int error) {
  if (error == ELOOP) {
    return Status::Error(path, "a symbolic link stands in its way");
  }
  return Status::FromErrno(path, error);
}

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(const HeldFolders& held, std::string path, int fd)
      : held_(held), path_(std::move(path)), fd_(fd) {}
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
    const int from = held_.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (from < 0) return;
    ssize_t size = ::flistxattr(from, nullptr, 0);
    std::string names(static_cast<std::size_t>(std::max<ssize_t>(size, 0)),
                      '\0');
    if (size > 0) size = ::flistxattr(from, names.data(), names.size());
    names.resize(static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
      const std::string name(names.c_str() + at);
      at += name.size() + 1;
      if (name == kDocumentRecordAttribute) continue;
      ssize_t length = ::fgetxattr(from, name.c_str(), nullptr, 0);
      if (length < 0) continue;
      value.resize(static_cast<std::size_t>(length));
      length = ::fgetxattr(from, name.c_str(), value.data(), value.size());
      if (length < 0) continue;
      // Attributes the process may not set (trusted.*, security.* for a
      // user) are left out; the file is no worse than one made afresh.
      int ignored = ::fsetxattr(fd_, name.c_str(), value.data(),
                                static_cast<std::size_t>(length), 0);
      static_cast<void>(ignored);
    }
    ::close(from);
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
  const HeldFolders& held_;
  std::string path_;
  int fd_;
};

// Keeps a folder registered with the held folders while it lives.
class PosixFolderHold : public FolderHold {
 public:
  PosixFolderHold(HeldFolders& held, const std::string& folder, int fd)
      : held_(held), handle_(held.Add(folder, fd)) {}
  ~PosixFolderHold() override { held_.Remove(handle_); }

 protected:
  int fd() const { return handle_->get(); }

 private:
  HeldFolders& held_;
  HeldFolders::Handle handle_;
};

class PosixFolderLock : public FolderLock {
 public:
  PosixFolderLock(HeldFolders& held, std::string folder, int fd)
      : folder_(std::move(folder)), hold_(held, folder_, fd), fd_(fd) {}
  // The hold closes the descriptor, which releases the lock.

  Status SyncFileSystem() override {
    if (::syncfs(fd_) != 0) return Status::FromErrno(folder_, errno);
    return Status::OK();
  }

 private:
  std::string folder_;
  PosixFolderHold hold_;
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  Status HoldFolder(const std::string& folder,
                    std::unique_ptr<FolderHold>* hold) override {
    hold->reset();
    // The path as the user gave it, links and all: the user chose it.
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::FromErrno(folder, errno);
    *hold = std::make_unique<PosixFolderHold>(held_, folder, fd);
    return Status::OK();
  }

  Status GetAttributes(const std::string& path,
                       FileAttributes* attributes) override {
    *attributes = FileAttributes();
    struct stat link_info;
    ParentFolder parent;
    int held = -1;
    if (!held_.OpenParent(path, &parent)) {
      // The path may be a held folder itself (a run's own folder).
      held = held_.Open(path, O_PATH | O_DIRECTORY);
      if (held < 0) {
        return errno == ENOENT || errno == ENOTDIR ? Status::OK()
                                                   : Failure(path, errno);
      }
    }
    const int at = held >= 0 ? held : parent.fd();
    const char* name = held >= 0 ? "" : parent.name().c_str();
    const int empty = held >= 0 ? AT_EMPTY_PATH : 0;
    const int got =
        ::fstatat(at, name, &link_info, AT_SYMLINK_NOFOLLOW | empty);
    const int error = errno;
    if (got != 0) {
      if (held >= 0) ::close(held);
      if (error == ENOENT || error == ENOTDIR) return Status::OK();
      return Failure(path, error);
    }
    attributes->isLink = S_ISLNK(link_info.st_mode);
    struct stat info = link_info;
    if (attributes->isLink) {
      attributes->linkOwner = link_info.st_uid;
      if (::fstatat(at, name, &info, 0) != 0) {
        // A dangling link: the name is there, but no file behind it.
        attributes->exists = true;
        return Status::OK();
      }
    }
    FillAttributes(info, attributes);
    // Without a write bit a file counts as read-only even for root, who
    // could otherwise write anything.
    attributes->writable =
        (info.st_mode & 0222) != 0 && MayWrite(at, name, info);
    if (held >= 0) ::close(held);
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
    int fd = OpenFollowingLastLink(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Failure(path, errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      Status status = Status::FromErrno(path, errno);
      ::close(fd);
      return status;
    }
    *attributes = FileAttributes();
    FillAttributes(info, attributes);
    if (!S_ISREG(info.st_mode)) {
      ::close(fd);
      return Status::Error(path, "Not a regular file");
    }
    attributes->hasExtendedAttributes = ::flistxattr(fd, nullptr, 0) > 0;
    int flags = 0;
    attributes->unchangeable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                               (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
    Status status = ReadAll(fd, path, info, contents);
    ::close(fd);
    return status;
  }

  Status NewTemporaryFile(const std::string& folder, const FileAttributes& like,
                          std::unique_ptr<WritableFile>* file,
                          std::string* path) override {
    file->reset();
    const mode_t mode = static_cast<mode_t>(like.mode) & 07777;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    ParentFolder reached;
    if (!held_.Reach(folder, &reached)) return Failure(folder, errno);
    const int at = reached.fd();
    int fd = -1;
    std::string name;
    for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
      name = RandomName();
      // Nobody may read the new file before it has its owners, so it starts
      // with the owner's bits alone (less the umask until fixed below).
      fd = ::openat(at, name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    mode & 0700);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Status::FromErrno(folder, errno);
    *path = prefix + name;
    Status status = GiveOwners(fd, like, mode, *path);
    if (!status.ok()) {
      ::close(fd);
      ::unlinkat(at, name.c_str(), 0);
      return status;
    }
    *file = std::make_unique<PosixWritableFile>(held_, *path, fd);
    return Status::OK();
  }

  Status GetAttribute(const std::string& path, const std::string& name,
                      std::string* value, bool* present) override {
    *present = false;
    value->clear();
    const int fd =
        OpenFollowingLastLink(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Failure(path, errno);
    for (;;) {
      ssize_t length = ::fgetxattr(fd, name.c_str(), nullptr, 0);
      if (length < 0) break;
      value->resize(static_cast<std::size_t>(length));
      length = ::fgetxattr(fd, name.c_str(), value->data(), value->size());
      if (length < 0 && errno == ERANGE) continue;  // it grew meanwhile
      if (length < 0) break;
      value->resize(static_cast<std::size_t>(length));
      *present = true;
      ::close(fd);
      return Status::OK();
    }
    const int error = errno;
    ::close(fd);
    if (error == ENODATA || error == ENOTSUP) return Status::OK();
    return Status::FromErrno(path, error);
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    ParentFolder from_parent, to_parent;
    if (!held_.OpenParent(from, &from_parent)) return Failure(from, errno);
    if (!held_.OpenParent(to, &to_parent)) return Failure(to, errno);
    if (::renameat(from_parent.fd(), from_parent.name().c_str(), to_parent.fd(),
                   to_parent.name().c_str()) != 0) {
      return Status::FromErrno(to, errno);
    }
    return Status::OK();
  }

  Status DeleteFile(const std::string& path) override {
    ParentFolder parent;
    if (!held_.OpenParent(path, &parent) ||
        ::unlinkat(parent.fd(), parent.name().c_str(), 0) != 0) {
      return Failure(path, errno);
    }
    return Status::OK();
  }

  Status SyncFolder(const std::string& path) override {
    int fd = held_.Open(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return Failure(path, errno);
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
    const int fd = held_.Open(path, O_RDONLY | O_DIRECTORY);
    DIR* folder = fd < 0 ? nullptr : ::fdopendir(fd);
    if (folder == nullptr) {
      const int error = errno;
      if (fd >= 0) ::close(fd);
      return Failure(path, error);
    }
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
    // A descriptor of its own even for a held folder: flock belongs to the
    // open file description.
    int fd = held_.Open(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return Failure(folder, errno);
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
    *lock = std::make_unique<PosixFolderLock>(held_, folder, fd);
    return Status::OK();
  }

 private:
  // Opens path without following a link on its way; a last name that is a
  // link is resolved once and its target, a path without links, opened the
  // same way.  Callers check the identity of what they opened.
  int OpenFollowingLastLink(const std::string& path, int flags) const {
    int fd = held_.Open(path, flags);
    if (fd >= 0 || errno != ELOOP) return fd;
    ParentFolder parent;
    struct stat info;
    if (!held_.OpenParent(path, &parent) ||
        ::fstatat(parent.fd(), parent.name().c_str(), &info,
                  AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode)) {
      errno = ELOOP;
      return -1;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return -1;
    const std::string target(resolved);
    std::free(resolved);
    return held_.Open(target, flags);
  }

  HeldFolders held_;
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem* file_system = new PosixFileSystem;
  return *file_system;
}

std::string NewTemporaryName() { return RandomName(); }

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
