#include "engine/safe_replace.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "engine/backup_record.h"

namespace engine {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

Status Write(FileSystem& fs, const ReplaceRequest& request, bool sync,
             std::string* temporary) {
  std::unique_ptr<WritableFile> file;
  Status status = fs.NewTemporaryFile(FolderOf(request.target), request.like,
                                      &file, temporary);
  if (!status.ok()) return Status::Error(request.target, status.reason());
  if (!request.attributes_from.empty()) {
    file->CopyAttributesFrom(request.attributes_from, request.like);
  }
  if (!request.record.empty()) {
    status = file->SetAttribute(kDocumentRecordAttribute, request.record);
    if (status.code() == Status::kUnsupported) status = Status::OK();
  }
  if (status.ok()) status = file->Append(request.content);
  if (status.ok() && sync) status = file->Sync();
  Status closed = file->Close();
  if (status.ok()) status = closed;
  if (!status.ok()) {
    fs.DeleteFile(*temporary);
    return Status::Error(request.target, status.reason());
  }
  return Status::OK();
}

}  // namespace

Status WriteTemporary(FileSystem& fs, const ReplaceRequest& request,
                      std::string* temporary) {
  return Write(fs, request, /*sync=*/false, temporary);
}

Status CommitTemporary(FileSystem& fs, const ReplaceRequest& request,
                       const std::string& temporary) {
  Status status;
  if (request.expected != nullptr) {
    FileAttributes now;
    status = fs.GetAttributes(request.target, &now);
    if (status.ok() && !now.Unchanged(*request.expected)) {
      status =
          Status::Error(request.target, "another program changed it meanwhile",
                        Status::kChanged);
    }
  }
  if (status.ok()) {
    status = request.target_absent
                 ? fs.RenameToNewName(temporary, request.target)
                 : fs.RenameFile(temporary, request.target);
  }
  if (!status.ok()) {
    fs.DeleteFile(temporary);
    return Status::Error(request.target, status.reason(), status.code());
  }
  if (!request.sync_folder) return Status::OK();
  status = fs.SyncFolder(FolderOf(request.target));
  if (status.ok()) return status;
  return Status::Error(status.path(), status.reason(), Status::kUnflushed);
}

Status ReplaceFile(FileSystem& fs, const ReplaceRequest& request) {
  std::string temporary;
  Status status = Write(fs, request, /*sync=*/true, &temporary);
  if (!status.ok()) return status;
  return CommitTemporary(fs, request, temporary);
}

Status TakeFolder(FileSystem& fs, const std::string& folder,
                  std::unique_ptr<FolderLock>* lock) {
  Status status = fs.LockFolder(folder, lock);
  if (!status.ok()) return status;
  // Under the lock no run of ours is writing here, so every temporary file
  // of our naming is a leftover.  Another user's are not ours to delete.
  std::vector<std::string> names;
  if (!fs.ListFolder(folder, &names).ok()) return Status::OK();
  const std::string prefix = folder.back() == '/' ? folder : folder + '/';
  for (const std::string& name : names) {
    if (!IsTemporaryFileName(name)) continue;
    FileAttributes attributes;
    const std::string path = prefix + name;
    if (fs.GetAttributes(path, &attributes).ok() && attributes.exists &&
        !attributes.isLink && attributes.isRegular &&
        attributes.owner == ::geteuid()) {
      fs.DeleteFile(path);
    }
  }
  return Status::OK();
}

FolderLocks::FolderLocks(FileSystem& fs) : fs_(fs) {}

Status FolderLocks::Take(const std::string& folder) {
  if (keys_.count(folder) != 0) return Status::OK();
  auto refused = refused_.find(folder);
  if (refused != refused_.end()) return refused->second;
  FileAttributes attributes;
  Status status = fs_.GetAttributes(folder, &attributes);
  if (status.ok() && !attributes.exists) {
    status = Status::Error(folder, "No such folder");
  }
  const Key key{attributes.device, attributes.inode};
  if (status.ok() && held_.count(key) == 0) {
    std::unique_ptr<FolderLock> lock;
    status = TakeFolder(fs_, folder, &lock);
    if (status.ok()) held_.emplace(key, std::move(lock));
  }
  if (!status.ok()) {
    refused_.emplace(folder, status);
    return status;
  }
  keys_.emplace(folder, key);
  return Status::OK();
}

std::string FolderRefusal(const Status& status, const std::string& folder,
                          const std::string& run) {
  if (status.code() == Status::kBusy) {
    return "Another update or restore is working in " + folder +
           ". Try again when it has finished. Nothing was changed.";
  }
  return "The folder " + folder + " could not be locked for the " + run + " (" +
         status.reason() + "). Nothing was changed.";
}

Status FolderLocks::SyncFileSystems(const std::set<std::string>& folders) {
  std::set<unsigned long long> devices;
  for (const std::string& folder : folders) {
    auto key = keys_.find(folder);
    if (key == keys_.end()) {
      return Status::Error(folder, "the folder was not locked");
    }
    if (!devices.insert(key->second.first).second) continue;
    Status status = held_.at(key->second)->SyncFileSystem();
    if (!status.ok()) return status;
  }
  return Status::OK();
}

}  // namespace engine
