// The engine's own file copy.  It never leaves a partial file under the
// target's name and never destroys an existing target unless the new copy
// is complete: the data goes to a temporary file in the target's folder,
// which is flushed to stable storage and then renamed over the target.

#ifndef VANTREL_ENGINE_COPY_FILE_H_
#define VANTREL_ENGINE_COPY_FILE_H_

#include <string>

#include "engine/file_system.h"
#include "engine/status.h"

namespace engine {

// Copies source to target, replacing target, keeping source's permission
// bits (and owner and group where allowed).  On success the copy and its
// name are on stable storage; on failure target is as it was.
Status CopyFile(FileSystem& fs, const std::string& source,
                const std::string& target);

// The same for a source whose attributes the caller has just read; the
// bytes copied are left in *contents, so that the caller works on exactly
// what the copy holds.
Status CopyFile(FileSystem& fs, const std::string& source,
                const FileAttributes& attributes, const std::string& target,
                std::string* contents);

// The folder part of path ("/" for "/x", "." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace engine

#endif  // VANTREL_ENGINE_COPY_FILE_H_
