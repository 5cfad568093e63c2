#include "platform/own_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/file_stamp.h"
#include "platform/posix/read_capped.h"

namespace nfy::platform {

bool isPlainFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isOwnFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dfd < 0) return false;
  DIR* dir = ::fdopendir(dfd);
  if (!dir) {
    ::close(dfd);
    return false;
  }
  const uid_t me = ::geteuid();
  while (dirent* d = ::readdir(dir)) {
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    struct stat st {};
    if (::fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    FolderEntry e;
    e.name = d->d_name;
    e.regular = S_ISREG(st.st_mode);
    e.own = st.st_uid == me;
    e.stamp = stampOf(st);
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  return true;
}

OwnRead readOwnFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes, FileStamp& stamp) {
  bytes.clear();
  // Never through a link, never waiting on a FIFO or a device.
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return OwnRead::Missing;
    return errno == ELOOP ? OwnRead::NotRegular : OwnRead::Failed;
  }
  struct stat st {};
  OwnRead result = OwnRead::Failed;
  if (::fstat(fd, &st) != 0) {
    result = OwnRead::Failed;
  } else if (!S_ISREG(st.st_mode)) {
    result = OwnRead::NotRegular;
  } else if (st.st_uid != ::geteuid()) {
    result = OwnRead::NotOwn;
  } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    result = OwnRead::TooLarge;
  } else {
    // One byte more than the cap is asked for, so that a file that grew
    // since fstat is still caught.
    result = readUpTo(fd, static_cast<size_t>(maxBytes) + 1, bytes) ? OwnRead::Ok : OwnRead::Failed;
    const size_t got = bytes.size();
    struct stat after {};
    if (result == OwnRead::Ok && got > maxBytes) result = OwnRead::TooLarge;
    if (result == OwnRead::Ok &&
        (::fstat(fd, &after) != 0 || !(stampOf(after) == stampOf(st)) || got != static_cast<size_t>(st.st_size))) {
      result = OwnRead::Failed;  // rewritten while it was read
    }
    if (result == OwnRead::Ok) stamp = stampOf(st);
  }
  ::close(fd);
  if (result != OwnRead::Ok) bytes.clear();
  return result;
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a second name, then the old one goes.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  return ::unlink(from.c_str()) == 0;
}

}  // namespace nfy::platform
