// An open descriptor as an appending stream (shared by the file helpers).
#pragma once

#include <stdio.h>
#include <unistd.h>

#include <cstdio>

namespace nfy::platform {

// The stream takes the descriptor over (and closes it when it cannot be
// made); nullptr for -1.
inline std::FILE* appendStreamOf(int fd) {
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "ab");
  if (!f) ::close(fd);
  return f;
}

}  // namespace nfy::platform
