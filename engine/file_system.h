// FileSystem is the engine's only way to the disk: the few file operations
// that the runs need, each returning a Status.  Default() is the real, local
// file system; ForwardingFileSystem passes every call on to another one, so
// that a test can override a single operation (and fail it on one path).

#ifndef VANTREL_ENGINE_FILE_SYSTEM_H_
#define VANTREL_ENGINE_FILE_SYSTEM_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/status.h"

namespace engine {

// What the runs need to know of a file, following symbolic links.
struct FileAttributes {
  bool exists = false;
  bool isRegular = false;  // a regular file, or a link to one
  bool isLink = false;     // the path itself is a symbolic link
  bool writable = false;   // has a write bit and the process may write it
  unsigned mode = 0;       // permission bits (07777)
  unsigned owner = 0;
  unsigned group = 0;
};

// A file being written.  Close() must be called; a file destroyed without
// it is closed and its errors are lost.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Appends data at the end; fails naming the file and the reason.
  virtual Status Append(std::string_view data) = 0;
  // Flushes what was written to stable storage.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The real, local file system.  Never destroyed.
  static FileSystem& Default();

  // Fills *attributes.  A missing file is OK with exists == false; other
  // failures (no permission on the folder, for instance) are errors.
  virtual Status GetAttributes(const std::string& path,
                               FileAttributes* attributes) = 0;
  // The path with every symbolic link resolved; fails for a missing file.
  virtual Status ResolvePath(const std::string& path, std::string* real) = 0;
  // Reads the whole file into *contents.
  virtual Status ReadFile(const std::string& path, std::string* contents) = 0;
  // Creates a new file at path (an existing file is an error) with the
  // permission bits, owner and group of like (owner and group where the
  // process may set them).
  virtual Status NewWritableFile(const std::string& path,
                                 const FileAttributes& like,
                                 std::unique_ptr<WritableFile>* file) = 0;
  // Renames from to to, replacing an existing to.
  virtual Status RenameFile(const std::string& from, const std::string& to) = 0;
  // Deletes that one file; the path is never taken as a pattern.
  virtual Status DeleteFile(const std::string& path) = 0;
  // Flushes the folder itself (its names) to stable storage.
  virtual Status SyncFolder(const std::string& path) = 0;
  // The names (no folder part) of the entries of a folder, "." and ".."
  // left out.
  virtual Status ListFolder(const std::string& path,
                            std::vector<std::string>* names) = 0;
};

// Passes every call on to target.  Derive from it to change one operation.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& target) : target_(target) {}

  Status GetAttributes(const std::string& path,
                       FileAttributes* attributes) override {
    return target_.GetAttributes(path, attributes);
  }
  Status ResolvePath(const std::string& path, std::string* real) override {
    return target_.ResolvePath(path, real);
  }
  Status ReadFile(const std::string& path, std::string* contents) override {
    return target_.ReadFile(path, contents);
  }
  Status NewWritableFile(const std::string& path, const FileAttributes& like,
                         std::unique_ptr<WritableFile>* file) override {
    return target_.NewWritableFile(path, like, file);
  }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return target_.RenameFile(from, to);
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

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_FILE_SYSTEM_H_
