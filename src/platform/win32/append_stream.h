// An open file handle as an appending stream (shared by the file helpers).
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace nfy::platform {

// The stream takes the handle over (and closes it when it cannot be made);
// nullptr for INVALID_HANDLE_VALUE. A handle is not inherited unless asked
// for, and neither is this one.
inline std::FILE* appendStreamOf(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "ab");
  if (!f) _close(fd);
  return f;
}

}  // namespace nfy::platform
