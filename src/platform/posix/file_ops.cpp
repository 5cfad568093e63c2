#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "platform/posix/append_stream.h"
#include "platform/posix/file_mode.h"
#include "platform/posix/file_stamp.h"

namespace nfy::platform {
namespace {

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens a file of the shared folder: never through a symbolic link at its
// name (O_NOFOLLOW), never waiting on a FIFO or a device (O_NONBLOCK), and
// only when it is a regular file. The descriptor is blocking again on
// return. -1 with errno set otherwise (ELOOP for a link, EISDIR for a
// folder, EINVAL for another file that is not regular).
int openRegular(const char* path, int flags, mode_t mode = 0) {
  int fd = openRetrying(path, flags | O_NONBLOCK | O_NOFOLLOW, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// openRegular, and only for a file of the running user's own: another
// user's file in the shared folder is never written into (EACCES).
int openOwnRegular(const char* path, int flags, mode_t mode) {
  int fd = openRegular(path, flags, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

bool writeAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A temporary name nobody can have prepared: the caller creates it with
// O_EXCL and takes the next one when it exists.
std::string uniqueTempName(const std::string& path) {
  static std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = path + ".tmp.";
  std::uint64_t r = random();
  for (int i = 0; i < 10; ++i, r /= 36) name += digits[r % 36];
  return name;
}

// Flushes the folder that holds `path`, so that a rename in it survives a
// power cut. A folder the user may write but not read cannot be opened to
// be flushed, and a file system that cannot flush folders says EINVAL:
// neither is a failure of the flush.
bool flushFolder(const std::string& folder) {
  int fd = openRetrying(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return errno == EACCES;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

// The open DeferredFolderFlush that takes the folders of replaced files.
thread_local DeferredFolderFlush* deferredFlushes = nullptr;

}  // namespace

bool removeFileDurably(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return errno == ENOENT;
  return flushFolder(std::filesystem::path(path).parent_path().string());
}

DeferredFolderFlush::DeferredFolderFlush() : outer_(deferredFlushes) { deferredFlushes = this; }

DeferredFolderFlush::~DeferredFolderFlush() {
  (void)flush();
  deferredFlushes = outer_;
}

void DeferredFolderFlush::defer(std::string folder) {
  if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end()) folders_.push_back(std::move(folder));
}

bool DeferredFolderFlush::flush() {
  bool ok = true;
  for (const std::string& folder : folders_) ok = flushFolder(folder) && ok;
  folders_.clear();
  return ok;
}

namespace {

// Flushes the folder of `path`, or leaves that to the open
// DeferredFolderFlush.
bool flushFolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (!deferredFlushes) return flushFolder(folder);
  deferredFlushes->defer(std::move(folder));
  return true;
}

}  // namespace

FileStamp fileStamp(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return stampOf(st);
}

Ownership fileOwnership(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? Ownership::None : Ownership::Other;
  return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() ? Ownership::Own : Ownership::Other;
}

std::int64_t fileClockNow() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool replaceFileWith(const std::string& path, std::string_view bytes, FileStamp& stamp, unsigned, NewFile mode,
                     Durability durability) {
  const bool flushed = durability == Durability::Flushed;
  // The file to replace: a link, a non-regular file or another user's file
  // there is refused; the user's own file hands its mode and group on to the
  // new one.
  struct stat old {};
  bool exists = ::lstat(path.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && !S_ISREG(old.st_mode)) {
    errno = EACCES;  // a link or a non-regular file at the name is refused
    return false;
  }
  if (exists && old.st_uid != ::geteuid()) {
    errno = EACCES;
    return false;
  }
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = uniqueTempName(path);
    fd = openRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, modeFor(mode));
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = true;
  if (exists) {
    // fchown fails unless the group is one of the user's own: the mode is
    // still kept.
    if (old.st_gid != ::getegid()) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  ok = ok && writeAll(fd, bytes) && (!flushed || ::fsync(fd) == 0);
  // The stamp of this content, taken before the rename, which keeps it.
  struct stat st {};
  ok = ok && ::fstat(fd, &st) == 0;
  int error = errno;
  ok = ::close(fd) == 0 && ok;
  // rename() replaces the target atomically; open readers keep the old file.
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
    stamp = stampOf(st);
    return !flushed || flushFolderOf(path);
  }
  if (ok) error = errno;
  ::unlink(temp.c_str());
  stamp = {};
  errno = error;
  return false;
}

std::FILE* openAppendStream(const std::string& path) {
  return appendStreamOf(openOwnRegular(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600));
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

FileError lastFileError() {
  const int code = errno;
  FileError e;
  switch (code) {
    case ENOSPC:
    case EDQUOT: e.number = 61; break;
    case EACCES:
    case EPERM:
    case EROFS: e.number = 70; break;
    case EIO: e.number = 57; break;
    default: e.number = 75; break;
  }
  e.text = std::strerror(code);
  // Refusals read as everywhere else in the program's lines.
  if (e.number == 70) e.text = "Permission denied";
  return e;
}

bool isReplaceLeftover(const std::string& name, const std::string& target) {
  const std::string prefix = target + ".tmp.";
  if (name.size() != prefix.size() + 10 || name.compare(0, prefix.size(), prefix) != 0) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

FileLock::~FileLock() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));  // drops the flock too
}

bool FileLock::open(const std::string& lockPath) {
  if (handle_ != kNone) return true;
  int fd = openRegular(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) return false;
  // Whoever can open the lock file can hold the lock and stall every
  // writer: only this user's own file is used, and nobody else may open it.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || ((st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0)) {
    ::close(fd);
    errno = EACCES;
    return false;
  }
  handle_ = fd;
  path_ = lockPath;
  return true;
}

namespace {

// A wait for the lock in the kernel's queue, where waiters take turns. It
// runs on a thread of its own with its own open of the lock file, so that
// it can be given up: when the caller stops waiting first, the thread lets
// go of the lock as soon as it gets it.
struct LockWait {
  std::mutex m;
  std::condition_variable cv;
  int fd = -1;
  bool done = false, abandoned = false, ok = false;
};

}  // namespace

bool FileLock::lock(unsigned waitMs) {
  if (handle_ == kNone) return false;
  int fd = static_cast<int>(handle_);
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return locked_ = true;
  if (errno != EWOULDBLOCK && errno != EINTR) return false;
  if (gaveUp_) {
    // The wait that ran out is still queued behind the same holder: no
    // second waiter, and no second wait for that holder.
    auto earlier = std::static_pointer_cast<LockWait>(gaveUp_);
    std::lock_guard<std::mutex> hold(earlier->m);
    if (!earlier->done) return false;
    gaveUp_.reset();
  }
  if (waitMs == 0) return false;
  // Polling would starve behind a writer that takes the lock again at once.
  auto wait = std::make_shared<LockWait>();
  struct stat mine {
  }, theirs{};
  wait->fd = openRetrying(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
  if (wait->fd < 0 || ::fstat(fd, &mine) != 0 || ::fstat(wait->fd, &theirs) != 0 || mine.st_ino != theirs.st_ino ||
      mine.st_dev != theirs.st_dev) {
    if (wait->fd >= 0) ::close(wait->fd);
    return false;
  }
  std::thread([wait] {
    int rc;
    do rc = ::flock(wait->fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    std::lock_guard<std::mutex> hold(wait->m);
    wait->ok = rc == 0;
    wait->done = true;
    if (wait->abandoned) ::close(wait->fd);  // lets go of the lock too
    wait->cv.notify_all();
  }).detach();
  std::unique_lock<std::mutex> hold(wait->m);
  if (!wait->cv.wait_for(hold, std::chrono::milliseconds(waitMs), [&] { return wait->done; })) {
    wait->abandoned = true;
    gaveUp_ = wait;
    return false;
  }
  if (!wait->ok) {
    ::close(wait->fd);
    return false;
  }
  // The waiter's open of the file holds the lock: it becomes ours.
  ::close(fd);
  handle_ = wait->fd;
  return locked_ = true;
}

void FileLock::unlock() {
  if (!locked_) return;
  ::flock(static_cast<int>(handle_), LOCK_UN);
  locked_ = false;
}

void sleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace nfy::platform
