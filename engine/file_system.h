// FileSystem is the engine's only way to the disk: the few file operations
// that the runs need, each returning a Status.  Default() is the real, local
// file system; ForwardingFileSystem passes every call on to another one, so
// that a test can override a single operation (and fail it on one path).
//
// Files are read through an open descriptor that never blocks (a FIFO or a
// device is refused, not waited on), and new content is only ever written to
// fresh temporary files, which a caller renames over their targets.

#ifndef VANTREL_ENGINE_FILE_SYSTEM_H_
#define VANTREL_ENGINE_FILE_SYSTEM_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/status.h"

namespace engine {

// What the runs need to know of a file.  A symbolic link is followed: the
// fields describe the file it points to, except isLink and linkOwner.
struct FileAttributes {
  bool exists = false;
  bool isRegular = false;  // a regular file, or a link to one
  bool isLink = false;     // the path itself is a symbolic link
  bool writable = false;   // has a write bit and the process may write it
  unsigned mode = 0;       // permission bits (07777)
  unsigned owner = 0;
  unsigned group = 0;
  unsigned linkOwner = 0;  // owner of the link itself, when isLink
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  long long modifiedNanoseconds = 0;
  unsigned long long links = 0;  // names (hard links) the file has
  // Filled by FileSystem::ReadFile only.
  bool hasExtendedAttributes = false;
  // The immutable or append-only flag is set: no rename may replace it.
  bool unchangeable = false;

  // Same device and inode: the same file, whatever names lead to it.
  bool SameFileAs(const FileAttributes& other) const {
    return exists && other.exists && device == other.device &&
           inode == other.inode;
  }
  // The same file with the same size and modification time: nobody has
  // written it in between.
  bool Unchanged(const FileAttributes& other) const {
    return SameFileAs(other) && size == other.size &&
           modifiedNanoseconds == other.modifiedNanoseconds;
  }
};

// A new temporary file being written.  Close() must be called; a file
// destroyed without it is closed and its errors are lost.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Appends data at the end; fails naming the file and the reason.
  virtual Status Append(std::string_view data) = 0;
  // Sets the extended attribute name to value.  Fails with
  // Status::kUnsupported where the file system has no such attributes.
  virtual Status SetAttribute(const std::string& name,
                              const std::string& value) = 0;
  // Copies the extended attributes (ACLs among them) of the file at path,
  // as far as the process may set them, when it is still the file from
  // (same device and inode); else copies none.  Never fails the file.
  virtual void CopyAttributesFrom(const std::string& path,
                                  const FileAttributes& from) = 0;
  // Flushes what was written to stable storage.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

// A folder that a run reaches through one open descriptor, from the moment
// it is held until the object is destroyed.
class FolderHold {
 public:
  virtual ~FolderHold() = default;
};

// Held while a run works in a folder; released on destruction.  The folder
// is held too (see FolderHold) while it is locked.
class FolderLock : public FolderHold {
 public:
  // Flushes everything written to the folder's file system, files and
  // names, to stable storage: one wait for many files.  It goes through the
  // descriptor the lock holds, opened before the run wrote anything there,
  // so that no write error since then can go unseen.
  virtual Status SyncFileSystem() = 0;
};

// Every operation takes paths, but the real file system never follows a
// symbolic link in a folder part of a path below a held folder (see
// HoldFolder), nor anywhere in a path below none: a link swapped in for a
// folder makes the operation fail, never lead elsewhere.  Only the last
// name of a path given to GetAttributes, ReadFile, GetAttribute and
// ResolvePath may be a link, and it is followed.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The real, local file system.  Never destroyed; its calls may come from
  // several threads at once.
  static FileSystem& Default();

  // Opens folder once, following the links of the path as given, and until
  // *hold is destroyed reaches every path below folder through it.  A run
  // holds its folder before it looks at anything in it.
  virtual Status HoldFolder(const std::string& folder,
                            std::unique_ptr<FolderHold>* hold) = 0;

  // Fills *attributes.  A missing file is OK with exists == false; other
  // failures (no permission on the folder, for instance) are errors.
  virtual Status GetAttributes(const std::string& path,
                               FileAttributes* attributes) = 0;
  // The path with every symbolic link resolved; fails for a missing file.
  virtual Status ResolvePath(const std::string& path, std::string* real) = 0;
  // Opens path without blocking, refuses anything but a regular file, and
  // reads it whole into *contents; *attributes describe the file that was
  // read, taken from the open descriptor.
  virtual Status ReadFile(const std::string& path, FileAttributes* attributes,
                          std::string* contents) = 0;
  // Creates a new file with an unpredictable hidden name in folder, never
  // replacing anything, and sets *path to it.  It gets like's permission
  // bits, owner and group as far as the process may set them; it carries
  // set-user-ID or set-group-ID bits only when owner and group are like's.
  virtual Status NewTemporaryFile(const std::string& folder,
                                  const FileAttributes& like,
                                  std::unique_ptr<WritableFile>* file,
                                  std::string* path) = 0;
  // The extended attribute name of path into *value; *present is false
  // (and the result OK) when the file has none or the file system has no
  // extended attributes.
  virtual Status GetAttribute(const std::string& path, const std::string& name,
                              std::string* value, bool* present) = 0;
  // Renames from to to, replacing an existing to.
  virtual Status RenameFile(const std::string& from, const std::string& to) = 0;
  // Renames from to to, which must not exist: when something has taken the
  // name meanwhile, nothing is renamed and the code is Status::kChanged.
  virtual Status RenameToNewName(const std::string& from,
                                 const std::string& to) = 0;
  // Deletes that one file; the path is never taken as a pattern.
  virtual Status DeleteFile(const std::string& path) = 0;
  // Flushes the folder itself (its names) to stable storage.
  virtual Status SyncFolder(const std::string& path) = 0;
  // The names (no folder part) of the entries of a folder, "." and ".."
  // left out.
  virtual Status ListFolder(const std::string& path,
                            std::vector<std::string>* names) = 0;
  // Takes the exclusive lock on folder that every run holds while it works
  // there, without waiting, and holds the folder (see HoldFolder) with it.
  // Fails with Status::kBusy when another run, in this process or another,
  // holds it.
  virtual Status LockFolder(const std::string& folder,
                            std::unique_ptr<FolderLock>* lock) = 0;
};

// Passes every call on to target.  Derive from it to change one operation.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& target) : target_(target) {}

  Status HoldFolder(const std::string& folder,
                    std::unique_ptr<FolderHold>* hold) override {
    return target_.HoldFolder(folder, hold);
  }

  Status GetAttributes(const std::string& path,
                       FileAttributes* attributes) override {
    return target_.GetAttributes(path, attributes);
  }
  Status ResolvePath(const std::string& path, std::string* real) override {
    return target_.ResolvePath(path, real);
  }
  Status ReadFile(const std::string& path, FileAttributes* attributes,
                  std::string* contents) override {
    return target_.ReadFile(path, attributes, contents);
  }
  Status NewTemporaryFile(const std::string& folder, const FileAttributes& like,
                          std::unique_ptr<WritableFile>* file,
                          std::string* path) override {
    return target_.NewTemporaryFile(folder, like, file, path);
  }
  Status GetAttribute(const std::string& path, const std::string& name,
                      std::string* value, bool* present) override {
    return target_.GetAttribute(path, name, value, present);
  }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return target_.RenameFile(from, to);
  }
  Status RenameToNewName(const std::string& from,
                         const std::string& to) override {
    return target_.RenameToNewName(from, to);
  }
  Status DeleteFile(const std::string& path) override {
    return target_.DeleteFile(path);
  }
  Status SyncFolder(const std::string& path) override {
    return target_.SyncFolder(path);
  }
  Status ListFolder(const std::string& path,
                    std::vector<std::string>* names) override {
    return target_.ListFolder(path, names);
  }
  Status LockFolder(const std::string& folder,
                    std::unique_ptr<FolderLock>* lock) override {
    return target_.LockFolder(folder, lock);
  }

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

// A fresh, unpredictable name of the kind NewTemporaryFile gives, for a
// file a run keeps out of the way for a while: a killed run's are cleaned
// up with the temporary files.  May be called from several threads.
std::string NewTemporaryName();

// Whether name is one of the temporary files that NewTemporaryFile makes
// (or that an earlier version of this program made).
bool IsTemporaryFileName(std::string_view name);

}  // namespace engine

#endif  // VANTREL_ENGINE_FILE_SYSTEM_H_
