#include "engine/copy_file.h"

#include <unistd.h>

#include <atomic>
#include <memory>

namespace engine {

namespace {

// A name that the file lists never show (it begins with a dot) and that no
// two copies of this process, nor two processes, share.
std::string TemporaryPathBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  static const std::string process = std::to_string(::getpid());
  std::string folder = FolderOf(target);
  if (folder.back() != '/') folder += '/';
  return folder + ".vantrel-" + process + "-" + std::to_string(counter++) +
         ".tmp";
}

}  // namespace

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status CopyFile(FileSystem& fs, const std::string& source,
                const std::string& target) {
  FileAttributes attributes;
  Status status = fs.GetAttributes(source, &attributes);
  if (!status.ok()) return status;
  std::string contents;
  return CopyFile(fs, source, attributes, target, &contents);
}

Status CopyFile(FileSystem& fs, const std::string& source,
                const FileAttributes& attributes, const std::string& target,
                std::string* contents) {
  if (!attributes.exists) return Status::Error(source, "No such file");
  if (!attributes.isRegular) return Status::Error(source, "Not a file");

  Status status = fs.ReadFile(source, contents);
  if (!status.ok()) return status;

  const std::string temporary = TemporaryPathBeside(target);
  std::unique_ptr<WritableFile> file;
  status = fs.NewWritableFile(temporary, attributes, &file);
  if (!status.ok()) return Status::Error(target, status.reason());
  status = file->Append(*contents);
  if (status.ok()) status = file->Sync();
  Status closed = file->Close();
  if (status.ok()) status = closed;
  if (status.ok()) status = fs.RenameFile(temporary, target);
  if (!status.ok()) {
    fs.DeleteFile(temporary);
    return Status::Error(target, status.reason());
  }
  // The rename itself must reach the disk before anyone relies on the copy.
  return fs.SyncFolder(FolderOf(target));
}

}  // namespace engine
