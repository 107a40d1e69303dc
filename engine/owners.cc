#include "engine/owners.h"

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace engine {

namespace {

// The process's groups, read once: they do not change while it runs.
const std::vector<gid_t>& ProcessGroups() {
  static const std::vector<gid_t> groups = [] {
    std::vector<gid_t> all(
        static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(all.size()), all.data());
    all.resize(static_cast<std::size_t>(std::max(count, 0)));
    all.push_back(::getegid());
    return all;
  }();
  return groups;
}

}  // namespace

std::string UserName(unsigned id) {
  std::vector<char> buffer(4096);
  struct passwd entry, *found = nullptr;
  if (::getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(id);
}

std::string GroupName(unsigned id) {
  std::vector<char> buffer(16384);
  struct group entry, *found = nullptr;
  if (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(id);
}

std::string OwnersRefusal(const FileAttributes& file) {
  static const uid_t process_owner = ::geteuid();
  if (process_owner == 0) return "";
  if (file.owner != process_owner) {
    return "its owner " + UserName(file.owner) +
           " can't be kept: only root can give a file to another user";
  }
  const std::vector<gid_t>& groups = ProcessGroups();
  if (std::find(groups.begin(), groups.end(), file.group) == groups.end()) {
    return "its group " + GroupName(file.group) +
           " can't be kept: you are not a member of it";
  }
  return "";
}

long long LargestReadableDocument() {
  long long largest = 0;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_size > 0) {
    largest = static_cast<long long>(pages) * page_size / 4;
  }
  struct rlimit limit;
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const long long room = static_cast<long long>(limit.rlim_cur / 4);
    largest = largest > 0 ? std::min(largest, room) : room;
  }
  return largest > 0 ? largest : (1LL << 30);
}

}  // namespace engine
