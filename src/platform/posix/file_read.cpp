#include "platform/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/posix/file_stamp.h"

namespace nfy::platform {
namespace {

// Why an open failed: Missing only when nothing stands at the name. An open
// that says "no such file" while the name is there (a failing disk, a file
// system that reports wrongly) is a failure.
ReadStatus openFailure(const std::string& path) {
  const int error = errno;
  struct stat st {};
  const bool missing =
      (error == ENOENT || error == ENOTDIR) && ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
  errno = error;
  if (missing) return ReadStatus::Missing;
  return error == ELOOP ? ReadStatus::NotRegular : ReadStatus::Failed;
}

// The user the process runs as. The programs never change their effective
// user, so the system is asked once rather than for every file read (a pass
// over the inbox reads thousands of body files).
uid_t effectiveUser() {
  static const uid_t user = ::geteuid();
  return user;
}

// Asked for when the user's own file is opened (see readFile).
#ifdef O_NOATIME
constexpr int kNoAccessTime = O_NOATIME;
#else
constexpr int kNoAccessTime = 0;
#endif

// Reads the open file from its start into `bytes`, at most `limit` bytes.
// The buffer starts one byte past the size the file had, so that the read
// of a file that kept its size comes back short and tells the end at once;
// it grows as the file turns out longer (no size is taken on trust). False
// when a read fails.
bool readFromStart(int fd, std::uint64_t size, std::uint64_t limit, bool roomToGrow, std::string& bytes) {
  const auto expected = static_cast<size_t>(std::min(size < limit ? size + 1 : size, limit));
  if (roomToGrow) bytes.reserve(withRoomToGrow(expected));
  bytes.resize(expected);
  size_t got = 0;
  while (got < limit) {
    // Past that, whether it goes on is asked with a small read: a file of
    // that size is never copied into a larger buffer.
    const bool beyond = got == bytes.size();
    char probe[4096];
    const size_t asked = beyond ? sizeof probe : bytes.size() - got;
    const ssize_t n = ::pread(fd, beyond ? probe : bytes.data() + got, asked, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    const size_t kept = static_cast<size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(n), limit - got));
    if (beyond) bytes.append(probe, kept);
    got += kept;
    // A short read that reached the size the file had is its end (the
    // stamp taken after the read shows whether the file changed meanwhile);
    // one that stopped before it is read on, never taken for the end.
    if (static_cast<size_t>(n) < asked && got >= size) break;
  }
  bytes.resize(got);
  return true;
}

// Reads the regular file open as `fd`, described by `st`. Sets `error` to
// the errno of a failure.
ReadStatus readOpened(int fd, struct stat st, const ReadOptions& options, std::string& bytes, FileStamp* stamp,
                      int& error) {
  const std::uint64_t limit =
      options.maxBytes >= ReadOptions::kWholeFile - 1 ? ReadOptions::kWholeFile : options.maxBytes + 1;
  errno = 0;
  // A writer that rewrites the file in place while we read it changes its
  // stamp; read again until the content and the stamp belong together.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > options.maxBytes && !options.keepStart) {
      error = EFBIG;
      return ReadStatus::TooLarge;
    }
    if (!readFromStart(fd, size, limit, options.roomToGrow, bytes)) break;
    if (bytes.size() > options.maxBytes && !options.keepStart) {
      error = EFBIG;  // it grew since it was looked at
      return ReadStatus::TooLarge;
    }
    struct stat after {};
    if (::fstat(fd, &after) != 0) break;
    if (stampOf(st) == stampOf(after) &&
        (bytes.size() == static_cast<size_t>(after.st_size) || bytes.size() == limit)) {
      if (stamp) *stamp = stampOf(after);
      return ReadStatus::Ok;
    }
    st = after;
  }
  // A file that kept changing while it was read has no errno of its own.
  error = errno != 0 ? errno : EAGAIN;
  return ReadStatus::Failed;
}

}  // namespace

ReadStatus readFile(const std::string& path, std::string& bytes, const ReadOptions& options, FileStamp* stamp) {
  bytes.clear();
  // O_NONBLOCK: a FIFO or device at the name is never waited on.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (options.followLink ? 0 : O_NOFOLLOW);
  int fd;
  // A file of the user's own is read without touching its access time:
  // the program reads its bodies again to compare them, and each such
  // update is a journal write. Only the owner may ask for that (EPERM
  // otherwise), so the open is tried again without it.
  do fd = ::open(path.c_str(), flags | (options.ownOnly ? kNoAccessTime : 0));
  while (fd < 0 && errno == EINTR);
  if (fd < 0 && options.ownOnly && kNoAccessTime != 0 && errno == EPERM) {
    do fd = ::open(path.c_str(), flags);
    while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) return openFailure(path);
  struct stat st {};
  ReadStatus result = ReadStatus::Failed;
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    result = ReadStatus::NotRegular;
    error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else if (options.ownOnly && st.st_uid != effectiveUser()) {
    // Another user's file in the shared folder is never taken for the
    // user's own.
    result = ReadStatus::NotOwn;
    error = EACCES;
  } else {
    // (O_NONBLOCK stays: it changes nothing for a regular file.)
    result = readOpened(fd, st, options, bytes, stamp, error);
  }
  ::close(fd);
  if (result != ReadStatus::Ok) bytes.clear();
  errno = error;
  return result;
}

}  // namespace nfy::platform
