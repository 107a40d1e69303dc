// WalkFolder lists the files of a tree of folders, for a list of documents
// that includes subfolders: the window's file list and the command line
// walk alike.  Every file below a folder is named by its path relative to
// the folder, with "/" between the parts; a folder's own files come first,
// then its subfolders one after another, each in the order the caller
// sorts names in.  Names beginning with a dot are left out, folders
// included; links to folders are not followed (no loops, no way out of the
// tree); a link to a file is listed as a file.  Subfolders that can't be
// read are skipped and counted.  Safe to call from several threads.

#ifndef VANTREL_ENGINE_FOLDER_WALK_H_
#define VANTREL_ENGINE_FOLDER_WALK_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/status.h"

namespace engine {

struct WalkRules {
  // Whether a file of this name (no folder part) is listed.
  std::function<bool(const std::string& name)> keep_file;
  // Whether a subfolder, by its relative path, is entered; all when unset.
  std::function<bool(const std::string& relative)> enter_folder;
  // Puts names (of one folder) in listing order; byte order when unset.
  std::function<void(std::vector<std::string>* names)> sort;
  bool recursive = true;
  std::size_t limit = static_cast<std::size_t>(-1);  // files at most
};

struct WalkListing {
  std::vector<std::string> files;  // relative paths
  int unreadable_folders = 0;
  bool too_many = false;  // more than the limit matched
};

// Lists folder by rules into *listing.  Fails only when folder itself
// can't be read.
Status WalkFolder(const std::string& folder, const WalkRules& rules,
                  WalkListing* listing);

}  // namespace engine

#endif  // VANTREL_ENGINE_FOLDER_WALK_H_
