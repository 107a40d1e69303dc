// Turns the command line's PATHs into the runs' inputs: each folder the
// documents live in, with the documents as that folder's entries, and how
// the user spelled each one, for what is printed.  Folders are walked by
// the window's rules; a document named twice (as a file and through its
// folder, or through a hard link) is one document.

#ifndef VANTREL_CLI_DOCUMENTS_H_
#define VANTREL_CLI_DOCUMENTS_H_

#include <string>
#include <vector>

#include "engine/selection.h"

namespace cli {

struct GatherRules {
  bool recursive = false;
  // Names (no folder part) a folder contributes, letter case ignored.
  std::vector<std::string> include;
  // Paths below a PATH folder that are left out, and folders not entered.
  std::vector<std::string> exclude;
  // Leave out names ending in "bac", which are backups, not documents.
  bool skip_backups = true;
};

// The documents of one folder, for one run.
struct DocumentGroup {
  std::string folder;              // absolute, as the run gets it
  engine::Selection entries;       // every one selected
  std::vector<std::string> shown;  // each entry as the user would name it
};

// Fills *groups from paths ("." when empty).  Fails with *error, one line
// naming the problem, when a PATH is missing, is not a file or folder, or
// is a folder that can't be read; nothing has been written then.
bool GatherDocuments(const std::vector<std::string>& paths,
                     const GatherRules& rules,
                     std::vector<DocumentGroup>* groups, std::string* error);

// Splits groups so that none holds more entries than one run takes.
std::vector<DocumentGroup> SplitForRuns(std::vector<DocumentGroup> groups);

}  // namespace cli

#endif  // VANTREL_CLI_DOCUMENTS_H_
