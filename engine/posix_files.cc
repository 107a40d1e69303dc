#include "engine/posix_files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "engine/backup_record.h"
#include "engine/owners.h"

namespace engine {

namespace {

constexpr char kTemporaryPrefix[] = ".vantrel-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 16;

uid_t ProcessOwner() {
  static const uid_t owner = ::geteuid();
  return owner;
}

}  // namespace

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
    // A file that grows while it is read is held to what a run may hold.
    static const auto largest =
        static_cast<std::size_t>(LargestReadableDocument());
    if (used > largest) {
      contents->clear();
      return Status::Error(path, "it grew past what a run may hold");
    }
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

namespace {

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

  void CopyAttributesFrom(const std::string& path,
                          const FileAttributes& expected) override {
    const Descriptor file(held_.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    const int from = file.get();
    struct stat info;
    // Another file swapped in meanwhile must not hand the new one its ACLs.
    if (from < 0 || ::fstat(from, &info) != 0 ||
        info.st_dev != expected.device || info.st_ino != expected.inode) {
      return;
    }
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

}  // namespace

std::unique_ptr<WritableFile> NewWritableFile(const HeldFolders& held,
                                              std::string path, int fd) {
  return std::make_unique<PosixWritableFile>(held, std::move(path), fd);
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
