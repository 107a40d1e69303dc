// The pieces of the real file system that work on one open file: reading
// it whole, giving a new file its owners and mode, the unpredictable names
// of temporary files, and the file a run writes new content into.  Used by
// file_system.cc alone.

#ifndef VANTREL_ENGINE_POSIX_FILES_H_
#define VANTREL_ENGINE_POSIX_FILES_H_

#include <sys/stat.h>

#include <memory>
#include <string>

#include "engine/file_system.h"
#include "engine/held_folders.h"

namespace engine {

// What the failed call with error number error on path means for the user;
// a link in the way is named as such.
Status Failure(const std::string& path, int error);

// Whether the process may write the file name in folder at, which has a
// write bit.
bool MayWrite(int at, const char* name, const struct stat& info);

// Fills *attributes from what stat or fstat gave.
void FillAttributes(const struct stat& info, FileAttributes* attributes);

// Reads the open file fd whole into *contents, straight into the string,
// whose room a caller that reuses it keeps from one file to the next.
Status ReadAll(int fd, const std::string& path, const struct stat& info,
               std::string* contents);

// Gives the new file fd like's owner, group and mode.  Fails when the
// process can't: a file that would belong to another group than its
// document's could be read by people the document keeps out.
Status GiveOwners(int fd, const FileAttributes& like, mode_t mode,
                  const std::string& path);

// A name no other process can guess.  May be called from several threads.
std::string RandomName();

// The temporary file at path, open as fd, being written; copies attributes
// from files it reaches through held.
std::unique_ptr<WritableFile> NewWritableFile(const HeldFolders& held,
                                              std::string path, int fd);

}  // namespace engine

#endif  // VANTREL_ENGINE_POSIX_FILES_H_
