#include "platform/new_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/posix/append_stream.h"
#include "platform/posix/file_mode.h"

namespace nfy::platform {

std::FILE* createNewFile(const std::string& path, NewFile mode) {
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, modeFor(mode));
  while (fd < 0 && errno == EINTR);
  return appendStreamOf(fd);
}

}  // namespace nfy::platform
