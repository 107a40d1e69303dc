// How the runs put content in place of a file without ever risking it: the
// content goes to a fresh temporary file beside the target, is flushed to
// stable storage and only then renamed over the target.  Whatever fails, or
// if the process is killed, the target holds either its old content or the
// complete new one; a failed attempt leaves no temporary file behind.  Also
// the folder lock and the clean-up of what a killed run left.

#ifndef VANTREL_ENGINE_SAFE_REPLACE_H_
#define VANTREL_ENGINE_SAFE_REPLACE_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "engine/file_system.h"
#include "engine/status.h"

namespace engine {

struct ReplaceRequest {
  std::string target;  // the path renamed over; links already resolved
  std::string_view content;
  // Permission bits, owner and group for the new file.
  FileAttributes like;
  // A file whose extended attributes (ACLs among them) the new file gets,
  // if it is still like's file; empty for none.
  std::string attributes_from;
  // The target must not exist (it was checked missing): when a file has
  // taken its name meanwhile, nothing is replaced (code kChanged).
  bool target_absent = false;
  // The document a backup is made from, recorded on it; empty for none.
  std::string record;
  // When set, the target must still be this very file, unwritten since,
  // or nothing is replaced and the result has code kChanged.
  const FileAttributes* expected = nullptr;
  // Whether the rename itself is flushed before returning; a caller that
  // flushes the folder later may batch it.
  bool sync_folder = true;
};

// Replaces (or creates) request.target with request.content.  On failure
// the target is as it was, except for code kUnflushed: the new content is
// in place but its name may not have reached the disk.
Status ReplaceFile(FileSystem& fs, const ReplaceRequest& request);

// The same in two steps, so that a caller can flush many temporary files
// with one FolderLocks::SyncFileSystems in between.  WriteTemporary leaves
// the content in *temporary, not yet flushed (nothing on failure).
Status WriteTemporary(FileSystem& fs, const ReplaceRequest& request,
                      std::string* temporary);
// Renames temporary, which the caller has flushed, over request.target
// (after the check of request.expected); on failure deletes temporary.
Status CommitTemporary(FileSystem& fs, const ReplaceRequest& request,
                       const std::string& temporary);

// Locks folder for a run (code kBusy when another run holds it) and then
// deletes the temporary files that a killed run of this user left there.
Status TakeFolder(FileSystem& fs, const std::string& folder,
                  std::unique_ptr<FolderLock>* lock);

// The folders a run writes in: each is taken (see TakeFolder) the first
// time the run reaches it and held until the run ends, so that no two runs
// ever write in one folder at the same time.  Folders are told apart by
// device and inode, whatever path leads to them.
class FolderLocks {
 public:
  explicit FolderLocks(FileSystem& fs);
  // Takes folder unless this run holds it already; a refusal (kBusy: another
  // run holds it) is remembered and given again for the folder.
  Status Take(const std::string& folder);
  // Flushes the file systems of the folders, taken before, once each.
  Status SyncFileSystems(const std::set<std::string>& folders);

 private:
  using Key = std::pair<unsigned long long, unsigned long long>;
  FileSystem& fs_;
  std::map<Key, std::unique_ptr<FolderLock>> held_;
  std::map<std::string, Key> keys_;
  std::map<std::string, Status> refused_;
};

// What a run says when it can't take the folder it was given, for status
// from FolderLocks::Take; run is "update" or "restore".
std::string FolderRefusal(const Status& status, const std::string& folder,
                          const std::string& run);

// The folder part of path ("/" for "/x", "." for a bare name).
std::string FolderOf(const std::string& path);

// The name part of path.
std::string NameOf(const std::string& path);

}  // namespace engine

#endif  // VANTREL_ENGINE_SAFE_REPLACE_H_
