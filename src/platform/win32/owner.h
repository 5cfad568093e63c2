// Whether a file is the running user's own (shared by the file helpers): its
// owner is the token's user, or the owner the token gives new objects (the
// Administrators group for an elevated administrator).
#pragma once

#include <windows.h>

namespace nfy::platform {

bool isRunningUsersSid(PSID owner);
// The file open as h (with READ_CONTROL).
bool isOwnFile(HANDLE h);

}  // namespace nfy::platform
