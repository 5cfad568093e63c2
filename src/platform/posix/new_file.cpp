#include "platform/new_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace nfy::platform {

NewFileWriter::~NewFileWriter() { close(); }

bool NewFileWriter::create(const std::string& path) {
  if (handle_ != kNone) return false;
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool NewFileWriter::write(std::string_view bytes) {
  if (handle_ == kNone) return false;
  while (!bytes.empty()) {
    ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool NewFileWriter::close() {
  if (handle_ == kNone) return false;
  int fd = static_cast<int>(handle_);
  handle_ = kNone;
  return ::close(fd) == 0;
}

}  // namespace nfy::platform
