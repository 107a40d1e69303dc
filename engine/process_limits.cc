#include "engine/process_limits.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace engine {

namespace {

constexpr mode_t kUsualUmask = 022;

// umask() can only be read by setting it, and for that moment every file
// that another thread creates would get the wrong mode; the kernel shows
// the mask in /proc (since Linux 4.7) without touching it.
mode_t ReadUmask() {
  std::ifstream status("/proc/self/status");
  const std::string key = "Umask:";
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    const char* digits = line.c_str() + key.size();
    char* end = nullptr;
    const unsigned long mask = std::strtoul(digits, &end, 8);
    if (end == digits || *end != '\0' || mask > 0777) return kUsualUmask;
    return static_cast<mode_t>(mask);
  }
  return kUsualUmask;
}

}  // namespace

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

mode_t ProcessUmask() {
  static const mode_t mask = ReadUmask();
  return mask;
}

}  // namespace engine
