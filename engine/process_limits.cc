#include "engine/process_limits.h"

#include <sys/resource.h>

#include <algorithm>

namespace engine {

void RaiseOpenFileLimit() {
  // The usual soft limit of 1,024 is far below what the kernel allows.
  static const bool raised = [] {
    constexpr rlim_t kEnough = 1 << 16;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kEnough)
      return false;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY
                         ? kEnough
                         : std::min(limit.rlim_max, kEnough);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
  }();
  static_cast<void>(raised);
}

}  // namespace engine
