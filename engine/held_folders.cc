#include "engine/held_folders.h"

#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace engine {

namespace {

std::string_view TrimmedFolder(std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  return folder;
}

// The walk openat2 makes, one name at a time, for kernels without it.
int WalkWithoutLinks(int dirfd, std::string_view path, int flags, mode_t mode) {
  int at = dirfd;
  int owned = -1;
  if (!path.empty() && path.front() == '/') {
    owned = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (owned < 0) return -1;
    at = owned;
  }
  for (;;) {
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    const std::size_t slash = path.find('/');
    const std::string part(path.substr(0, slash));
    const char* name = part.empty() ? "." : part.c_str();
    const bool last = slash == std::string_view::npos ||
                      path.find_first_not_of('/', slash) == std::string::npos;
    const int fd =
        last
            ? ::openat(at, name, flags | O_NOFOLLOW | O_CLOEXEC, mode)
            : ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    if (owned >= 0) ::close(owned);
    if (fd < 0 || last) {
      errno = error;
      return fd;
    }
    at = owned = fd;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int OpenWithoutLinks(int dirfd, const std::string& path, int flags, mode_t mode,
                     bool beneath) {
  static std::atomic<bool> have_openat2{true};
  if (have_openat2.load(std::memory_order_relaxed)) {
    struct open_how how = {};
    how.flags = static_cast<unsigned long long>(flags | O_CLOEXEC);
    if ((flags & O_CREAT) != 0) how.mode = mode;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS |
                  (beneath ? RESOLVE_BENEATH : 0);
    for (;;) {
      const long fd =
          ::syscall(SYS_openat2, dirfd, path.empty() ? "." : path.c_str(), &how,
                    sizeof how);
      if (fd >= 0) return static_cast<int>(fd);
      // EAGAIN: a rename elsewhere raced with the lookup; asking again is
      // safe.
      if (errno == EAGAIN || errno == EINTR) continue;
      if (errno != ENOSYS) return -1;
      have_openat2.store(false, std::memory_order_relaxed);
      break;
    }
  }
  // Without openat2 the walk keeps the promise but for "..": the runs'
  // paths never hold one below a held folder.
  return WalkWithoutLinks(dirfd, path, flags, mode);
}

HeldFolders::Handle HeldFolders::Add(const std::string& folder, int fd) {
  Handle handle = std::make_shared<const Descriptor>(fd);
  std::unique_lock<std::shared_mutex> hold(mutex_);
  held_[std::string(TrimmedFolder(folder))].push_back(handle);
  return handle;
}

void HeldFolders::Remove(const Handle& handle) {
  std::unique_lock<std::shared_mutex> hold(mutex_);
  for (auto entry = held_.begin(); entry != held_.end(); ++entry) {
    auto& handles = entry->second;
    auto found = std::find(handles.begin(), handles.end(), handle);
    if (found == handles.end()) continue;
    handles.erase(found);
    if (handles.empty()) held_.erase(entry);
    return;
  }
}

HeldFolders::Handle HeldFolders::Find(std::string_view path,
                                      std::string_view* rest) const {
  std::shared_lock<std::shared_mutex> hold(mutex_);
  if (held_.empty()) return nullptr;
  path = TrimmedFolder(path);
  std::size_t end = path.size();
  for (;;) {
    auto found = held_.find(path.substr(0, end == 0 ? 1 : end));
    if (found != held_.end()) {
      *rest = end >= path.size() ? std::string_view() : path.substr(end + 1);
      return found->second.back();
    }
    if (end == 0) return nullptr;
    end = path.rfind('/', end - 1);
    if (end == std::string_view::npos) return nullptr;
  }
}

int HeldFolders::Open(const std::string& path, int flags, mode_t mode) const {
  std::string_view rest;
  Handle base = Find(path, &rest);
  if (!base) return OpenWithoutLinks(AT_FDCWD, path, flags, mode, false);
  return OpenWithoutLinks(base->get(), std::string(rest), flags, mode, true);
}

bool HeldFolders::Reach(const std::string& folder, ParentFolder* reached,
                        std::string name) const {
  reached->name_ = std::move(name);
  std::string_view rest;
  Handle base = Find(folder, &rest);
  if (base && rest.empty()) {
    reached->base_ = std::move(base);
    return true;
  }
  const int fd =
      base ? OpenWithoutLinks(base->get(), std::string(rest),
                              O_PATH | O_DIRECTORY, 0, true)
           : OpenWithoutLinks(AT_FDCWD, folder, O_PATH | O_DIRECTORY, 0, false);
  if (fd < 0) return false;
  reached->base_ = std::make_shared<const Descriptor>(fd);
  return true;
}

bool HeldFolders::OpenParent(const std::string& path,
                             ParentFolder* parent) const {
  const std::size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) {
    errno = EISDIR;
    return false;
  }
  if (slash == std::string::npos) {
    parent->base_.reset();  // the current folder
    parent->name_ = std::move(name);
    return true;
  }
  return Reach(slash == 0 ? "/" : path.substr(0, slash), parent,
               std::move(name));
}

}  // namespace engine
