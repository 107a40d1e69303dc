// Whether a file that the runs replace can keep its owner and group.  A
// replace makes a new file, which the process must then give the old one's
// owner and group; only root may give a file to another owner, and others
// may give it only a group they belong to.  A document whose owners would
// change is refused before anything is written: a page of the web server's
// group that the server could no longer read is a broken site.
//
// May be called from several threads.

#ifndef VANTREL_ENGINE_OWNERS_H_
#define VANTREL_ENGINE_OWNERS_H_

#include <string>

#include "engine/file_system.h"

namespace engine {

// Empty when the process can give a new file file's owner and group, else
// why not, in words for the user ("its group www-data can't be kept: you
// are not a member of it").
std::string OwnersRefusal(const FileAttributes& file);

// The name of user id (or the number, when it has none).
std::string UserName(unsigned id);
// The name of group id (or the number, when it has none).
std::string GroupName(unsigned id);

// The largest document a run reads: a quarter of the physical memory, and
// a quarter of the address space the process may use.
long long LargestReadableDocument();

}  // namespace engine

#endif  // VANTREL_ENGINE_OWNERS_H_
