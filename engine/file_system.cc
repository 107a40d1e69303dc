#include "engine/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "engine/held_folders.h"
#include "engine/posix_files.h"

namespace engine {

namespace {

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
        if (held >= 0) ::close(held);
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
    // Closed however the read ends, out of memory included.
    const Descriptor file(
        OpenFollowingLastLink(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    const int fd = file.get();
    if (fd < 0) return Failure(path, errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) return Status::FromErrno(path, errno);
    *attributes = FileAttributes();
    FillAttributes(info, attributes);
    if (!S_ISREG(info.st_mode)) {
      return Status::Error(path, "Not a regular file");
    }
    attributes->hasExtendedAttributes = ::flistxattr(fd, nullptr, 0) > 0;
    int flags = 0;
    attributes->unchangeable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                               (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
    return ReadAll(fd, path, info, contents);
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
    *file = NewWritableFile(held_, *path, fd);
    return Status::OK();
  }

  Status GetAttribute(const std::string& path, const std::string& name,
                      std::string* value, bool* present) override {
    *present = false;
    value->clear();
    const Descriptor file(
        OpenFollowingLastLink(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    const int fd = file.get();
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
      return Status::OK();
    }
    const int error = errno;
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

  Status RenameToNewName(const std::string& from,
                         const std::string& to) override {
    ParentFolder from_parent, to_parent;
    if (!held_.OpenParent(from, &from_parent)) return Failure(from, errno);
    if (!held_.OpenParent(to, &to_parent)) return Failure(to, errno);
    if (::renameat2(from_parent.fd(), from_parent.name().c_str(),
                    to_parent.fd(), to_parent.name().c_str(),
                    RENAME_NOREPLACE) == 0) {
      return Status::OK();
    }
    if (errno == EEXIST) {
      return Status::Error(to, "another program made a file of this name",
                           Status::kChanged);
    }
    return Status::FromErrno(to, errno);
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

}  // namespace engine
