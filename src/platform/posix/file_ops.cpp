#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace nfy::platform {
namespace {

FileStamp stampOf(const struct stat& st) {
  FileStamp s;
  s.exists = true;
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.volume = static_cast<std::uint64_t>(st.st_dev);
  s.id = static_cast<std::uint64_t>(st.st_ino);
  return s;
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

FileStamp fileStamp(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return stampOf(st);
}

std::int64_t fileClockNow() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

ReadStatus readFileWithStamp(const std::string& path, std::string& bytes, FileStamp& stamp) {
  bytes.clear();
  int fd = openRetrying(path.c_str(), O_RDONLY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
  ReadStatus result = ReadStatus::Failed;
  // A writer that rewrites the file in place while we read it changes its
  // stamp; read again until the content and the stamp belong together.
  for (int attempt = 0; attempt < 5; ++attempt) {
    struct stat before {
    }, after{};
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) break;
    bytes.resize(static_cast<size_t>(before.st_size));
    size_t got = 0;
    bool ok = true;
    for (;;) {
      if (got == bytes.size()) bytes.resize(bytes.size() + 4096);
      ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ok = false;
        break;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    if (!ok || ::fstat(fd, &after) != 0) break;
    FileStamp a = stampOf(before), b = stampOf(after);
    if (a == b && b.size == got) {
      stamp = b;
      result = ReadStatus::Ok;
      break;
    }
  }
  ::close(fd);
  if (result != ReadStatus::Ok) bytes.clear();
  return result;
}

bool replaceFileWith(const std::string& path, const std::string& tempPath, std::string_view bytes, FileStamp& stamp,
                     unsigned) {
  int fd = openRetrying(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // The stamp of this content, taken before the rename, which keeps it.
  struct stat st {};
  ok = ::fstat(fd, &st) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  // rename() replaces the target atomically; open readers keep the old file.
  if (ok && std::rename(tempPath.c_str(), path.c_str()) == 0) {
    stamp = stampOf(st);
    return true;
  }
  ::unlink(tempPath.c_str());
  return false;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

FileLock::~FileLock() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));  // drops the flock too
}

bool FileLock::open(const std::string& lockPath) {
  if (handle_ != kNone) return true;
  int fd = openRetrying(lockPath.c_str(), O_RDWR | O_CREAT, 0666);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool FileLock::lock(unsigned waitMs) {
  if (handle_ == kNone) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (unsigned pause = 0;; ++pause) {
    if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0) return locked_ = true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Short pauses first: the other holder normally needs well under a
    // millisecond.
    std::this_thread::sleep_for(std::chrono::microseconds(pause < 50 ? 100 : 1000));
  }
}

void FileLock::unlock() {
  if (!locked_) return;
  ::flock(static_cast<int>(handle_), LOCK_UN);
  locked_ = false;
}

void sleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace nfy::platform
