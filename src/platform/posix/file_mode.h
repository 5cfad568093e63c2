// The mode a new file is created with (shared by the file helpers).
#pragma once

#include <sys/types.h>

#include "platform/file_ops.h"

namespace nfy::platform {

// The process's umask is taken off as always.
inline mode_t modeFor(NewFile mode) {
  switch (mode) {
    case NewFile::Private: return 0600;
    case NewFile::Shared: return 0644;
    case NewFile::Default: break;
  }
  return 0666;
}

}  // namespace nfy::platform
