// The user line of the introduction page.  GetUserNameA keeps the Windows
// call's contract on top of the account database, so that the line is
// built exactly as the window always built it: a 200-character buffer of
// zeros, a size of 199, and the characters before the first zero.

#ifndef VANTREL_UI_FORM1_LOGIN_NAME_H_
#define VANTREL_UI_FORM1_LOGIN_NAME_H_

#include <QString>
#include <functional>

namespace account {

// Writes the login name of the process's real user and a terminating zero
// into buffer and sets *size to the characters written, zero included.
// When the name does not fit in *size characters, or there is none, writes
// nothing, returns false and (for a name too long) sets *size to the size
// needed.
bool GetUserNameA(char* buffer, unsigned long* size);

using UserNameSource = std::function<bool(char* buffer, unsigned long* size)>;

// "User: " followed by the name that source supplies, or "User: " alone.
QString userLine(const UserNameSource& source = GetUserNameA);

}  // namespace account

#endif  // VANTREL_UI_FORM1_LOGIN_NAME_H_
