// Reading an open file up to a cap (shared by the file helpers).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace nfy::platform {

// Reads the open file from where it stands into `bytes`, at most `limit`
// bytes, growing the buffer as the file turns out longer (no size is taken
// on trust). False, with `bytes` empty, when a read fails.
inline bool readUpTo(int fd, size_t limit, std::string& bytes) {
  bytes.assign(std::min<size_t>(limit, 1 << 16), '\0');
  size_t got = 0;
  while (got < limit) {
    if (got == bytes.size()) bytes.resize(std::min(limit, bytes.size() * 2));
    ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return true;
}

}  // namespace nfy::platform
