#include "ui/Form1/login_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "ui/browser/code_page.h"

namespace account {

bool GetUserNameA(char* buffer, unsigned long* size) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> scratch(suggested > 0 ? suggested : 16384);
  passwd entry;
  passwd* found = nullptr;
  int error;
  while ((error = getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(),
                             &found)) == ERANGE) {
    scratch.resize(scratch.size() * 2);
  }
  if (error != 0 || !found || !found->pw_name || !*found->pw_name) return false;
  const unsigned long needed = std::strlen(found->pw_name) + 1;
  if (needed > *size) {
    *size = needed;
    return false;
  }
  std::memcpy(buffer, found->pw_name, needed);
  *size = needed;
  return true;
}

QString userLine(const UserNameSource& source) {
  char buffer[200] = {};
  unsigned long size = 199;
  // A failed call leaves the buffer as it was: all zeros, so no name.
  source(buffer, &size);
  buffer[sizeof buffer - 1] = '\0';
  return QStringLiteral("User: ") + ui::fromCodePage(buffer);
}

}  // namespace account
