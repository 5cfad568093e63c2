// The stamp of a file from its stat record (shared by the file helpers).
#pragma once

#include <sys/stat.h>

#include "platform/file_ops.h"

namespace nfy::platform {

inline FileStamp stampOf(const struct stat& st) {
  FileStamp s;
  s.exists = true;
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.volume = static_cast<std::uint64_t>(st.st_dev);
  s.id = static_cast<std::uint64_t>(st.st_ino);
  return s;
}

}  // namespace nfy::platform
