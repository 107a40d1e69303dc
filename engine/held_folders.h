// How the real file system reaches a path without following a link that an
// attacker could put in place of a folder.  A run opens its folder once and
// registers the descriptor here (so do the folder locks it takes); from then
// on every path below that folder is opened from the registered descriptor,
// and no symbolic link on the way, folder or file, is followed, whatever is
// renamed or swapped meanwhile.  A path below no registered folder (the
// target of a document that is a link, resolved to a path without links) is
// opened the same way from the current folder: a link swapped in anywhere
// on its way makes the open fail rather than lead elsewhere.
//
// Every member may be called from several threads at once.

#ifndef VANTREL_ENGINE_HELD_FOLDERS_H_
#define VANTREL_ENGINE_HELD_FOLDERS_H_

#include <fcntl.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// An open descriptor, closed when the last holder lets it go.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor();
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A descriptor of a folder that a path's last name is looked up in: a held
// folder's own, or one opened for the call (closed with this object).
class ParentFolder {
 public:
  ParentFolder() = default;
  ParentFolder(ParentFolder&&) = default;
  ParentFolder& operator=(ParentFolder&&) = default;
  int fd() const { return base_ ? base_->get() : AT_FDCWD; }
  const std::string& name() const { return name_; }

 private:
  friend class HeldFolders;
  std::shared_ptr<const Descriptor> base_;
  std::string name_;
};

class HeldFolders {
 public:
  using Handle = std::shared_ptr<const Descriptor>;

  // Registers fd, an open folder, as the way to every path below folder
  // (the path as the caller spells it) until Remove(the result).
  Handle Add(const std::string& folder, int fd);
  void Remove(const Handle& handle);

  // Opens path with flags (O_CLOEXEC is added) following no link on the
  // way, its last name included.  Returns the descriptor, or -1 with errno
  // set (ELOOP where a link stands in the way).
  int Open(const std::string& path, int flags, mode_t mode = 0) const;
  // The folder that holds path's last name, opened as Open would, and that
  // name, for the *at calls.  Returns false with errno set.
  bool OpenParent(const std::string& path, ParentFolder* parent) const;
  // folder itself, as OpenParent gives a path's folder (a held folder's
  // own descriptor, without a system call), with name as its name.
  bool Reach(const std::string& folder, ParentFolder* reached,
             std::string name = "") const;

 private:
  // The deepest held folder that holds path, and the rest of path below
  // it ("" for the folder itself); a null handle when none holds it.
  Handle Find(std::string_view path, std::string_view* rest) const;

  mutable std::shared_mutex mutex_;
  std::map<std::string, std::vector<Handle>, std::less<>> held_;
};

// Opens path (relative to dirfd) with flags, following no symbolic link;
// beneath, and no ".." may climb above dirfd either.  -1 with errno set.
int OpenWithoutLinks(int dirfd, const std::string& path, int flags, mode_t mode,
                     bool beneath);

}  // namespace engine

#endif  // VANTREL_ENGINE_HELD_FOLDERS_H_
