#include "platform/posix/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/file_ops.h"
#include "platform/registry.h"

namespace nfy::platform::reg::store {
namespace {

constexpr const char* kDefaultFolder = "/var/lib/nfydesk/registry";
constexpr unsigned kLockWaitMs = 2000;

std::string filePath(const std::string& rootName) { return storeFolder() + "/" + rootName + ".reg"; }

long statusFor(int error) { return (error == EACCES || error == EPERM || error == EROFS) ? kAccessDenied : kIoFailed; }

// Reads a whole file; ENOENT leaves text empty and counts as success.
long readAll(const std::string& path, std::string& text) {
  text.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kSuccess : statusFor(errno);
  char buf[65536];
  long status = kSuccess;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      status = statusFor(errno);
      break;
    }
  }
  ::close(fd);
  return status;
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes text to a temporary file beside path and renames it over path.
long replaceFile(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return statusFor(errno);
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int error = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return kSuccess;
  if (ok) error = errno;
  ::unlink(temp.c_str());
  return statusFor(error);
}

}  // namespace

std::string storeFolder() {
  const char* env = std::getenv("NFY_REGISTRY_ROOT");
  std::string folder = (env && *env) ? env : kDefaultFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

long load(const std::string& rootName, Node& tree) {
  std::string text;
  if (long rc = readAll(filePath(rootName), text); rc != kSuccess) return rc;
  tree = Node();
  return parse(text, rootName, tree) ? kSuccess : kBadFormat;
}

long update(const std::string& rootName, const std::function<long(Node& tree, bool& changed)>& change) {
  std::error_code ec;
  std::filesystem::create_directories(storeFolder(), ec);
  if (ec) return statusFor(ec.value());
  // A change takes the root's lock file, waiting a bounded time: a writer
  // that hangs must not hang every other program that writes the store.
  FileLock lock;
  if (!lock.open(storeFolder() + "/" + rootName + ".lock")) return statusFor(errno);
  if (!lock.lock(kLockWaitMs)) return kIoFailed;
  Node tree;
  if (long rc = load(rootName, tree); rc != kSuccess) return rc;
  bool changed = false;
  long rc = change(tree, changed);
  if (rc != kSuccess || !changed) return rc;
  return replaceFile(filePath(rootName), serialize(tree, rootName));
}

}  // namespace nfy::platform::reg::store
