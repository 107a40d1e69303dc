// What the runs need of the process as a whole rather than of any one run:
// room for the descriptors a run over a whole site holds, and the mask that
// new files get.  Both belong to the process, so they are settled once and
// never changed while a run's thread may be creating files.

#ifndef VANTREL_ENGINE_PROCESS_LIMITS_H_
#define VANTREL_ENGINE_PROCESS_LIMITS_H_

#include <sys/types.h>

namespace engine {

// Raises the soft limit on open descriptors to the hard limit, at most
// 65,536; never lowers it.  Meant for the top of main(); only the first
// call acts.  May be called from several threads.
void RaiseOpenFileLimit();

// The process's umask, read from the kernel's record of the process without
// setting it; 022 if that can't be read.  Read once, on the first call.  May
// be called from several threads.
mode_t ProcessUmask();

}  // namespace engine

#endif  // VANTREL_ENGINE_PROCESS_LIMITS_H_
