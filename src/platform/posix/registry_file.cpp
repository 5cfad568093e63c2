#include "platform/posix/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/file_ops.h"
#include "platform/file_read.h"
#include "platform/registry.h"

namespace nfy::platform::reg::store {
namespace {

constexpr const char* kDefaultFolder = "/var/lib/nfydesk/registry";
constexpr unsigned kLockWaitMs = 2000;

std::string filePath(const std::string& rootName) { return storeFolder() + "/" + rootName + ".reg"; }

// The errno of the last file access that failed, for lastStoreErrorText.
int lastError = 0;

long statusFor(int error) {
  lastError = error;
  return (error == EACCES || error == EPERM || error == EROFS) ? kAccessDenied : kIoFailed;
}

// Reads a whole file; ENOENT leaves text empty and counts as success.
long readAll(const std::string& path, std::string& text) {
  // A FIFO or device at the store's name is refused without waiting on it.
  errno = 0;
  switch (readFile(path, text, {.followLink = true})) {
    case ReadStatus::Ok: return kSuccess;
    case ReadStatus::Missing: return kSuccess;
    default: break;
  }
  return statusFor(errno);
}

// Writes text to a new temporary file beside path, flushes it and renames it
// over path; the store stays readable by every user, as the registry is.
long replaceFile(const std::string& path, const std::string& text) {
  FileStamp ignored;
  if (replaceFileWith(path, text, ignored, 0, NewFile::Shared)) return kSuccess;
  return statusFor(errno);
}

}  // namespace

std::string storeFolder() {
  const char* env = std::getenv("NFY_REGISTRY_ROOT");
  std::string folder = (env && *env) ? env : kDefaultFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

long load(const std::string& rootName, Node& tree) {
  lastError = 0;
  std::string text;
  if (long rc = readAll(filePath(rootName), text); rc != kSuccess) return rc;
  tree = Node();
  return parse(text, rootName, tree) ? kSuccess : kBadFormat;
}

long update(const std::string& rootName, const std::function<long(Node& tree, bool& changed)>& change) {
  lastError = 0;
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

namespace nfy::platform::reg {

std::string lastStoreErrorText() { return store::lastError ? std::strerror(store::lastError) : ""; }

}  // namespace nfy::platform::reg
