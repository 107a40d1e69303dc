// What the runs need of the process as a whole rather than of any one run:
// room for the descriptors a run over a whole site holds.  It belongs to
// the process, so each program settles it once, at the top of main(),
// rather than a run changing it while other threads work.

#ifndef VANTREL_ENGINE_PROCESS_LIMITS_H_
#define VANTREL_ENGINE_PROCESS_LIMITS_H_

namespace engine {

// Raises the soft limit on open descriptors to the hard limit, at most
// 65,536; never lowers it.  Meant for the top of main(); only the first
// call acts.  May be called from several threads.
void RaiseOpenFileLimit();

}  // namespace engine

#endif  // VANTREL_ENGINE_PROCESS_LIMITS_H_
