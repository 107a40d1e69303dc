// The files of a whole tree of folders, for a file list that includes
// subfolders: every file below a folder whose name matches a pattern, named
// by its path relative to the folder with "/" between the parts.  A
// folder's own files come first, then its subfolders one after another,
// each in the lists' natural order.  Names beginning with a dot are left
// out, folders included; links to folders are not followed (no loops, no
// way out of the tree); folders that can't be read are skipped and
// counted.

#ifndef VANTREL_UI_BROWSER_FOLDER_TREE_H_
#define VANTREL_UI_BROWSER_FOLDER_TREE_H_

#include <QString>
#include <cstddef>
#include <vector>

#include "ui/browser/folder_access.h"
#include "ui/browser/name_pattern.h"

namespace browser {

struct TreeListing {
  std::vector<FolderEntry> files;  // relative paths, raw and shown
  int unreadableFolders = 0;       // subfolders skipped
  bool tooMany = false;            // more than the limit matched
};

// Lists the tree below folder into *listing, at most limit files.  Returns
// false with *error set when folder itself can't be read.
bool readTree(const QString& folder, const NamePattern& pattern,
              std::size_t limit, TreeListing* listing, QString* error);

}  // namespace browser

#endif  // VANTREL_UI_BROWSER_FOLDER_TREE_H_
