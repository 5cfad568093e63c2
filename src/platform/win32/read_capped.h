// Reading an open file up to a cap (shared by the file helpers).
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace nfy::platform {

// Reads the open file from where it stands into `bytes`, at most `limit`
// bytes, growing the buffer as the file turns out longer (no size is taken
// on trust). False, with `bytes` empty, when a read fails.
inline bool readUpTo(HANDLE h, size_t limit, std::string& bytes) {
  bytes.assign(std::min<size_t>(limit, 1 << 16), '\0');
  size_t got = 0;
  while (got < limit) {
    if (got == bytes.size()) bytes.resize(std::min(limit, bytes.size() * 2));
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - got, 1u << 30));
    if (!ReadFile(h, bytes.data() + got, want, &n, nullptr)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return true;
}

}  // namespace nfy::platform
