#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/posix/file_stamp.h"

namespace nfy::platform {

bool isPlainFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isOwnFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries, FolderLink link,
                const EntryNames& wanted) {
  entries.clear();
  int dfd =
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link == FolderLink::Followed ? 0 : O_NOFOLLOW));
  if (dfd < 0) return false;
  DIR* dir = ::fdopendir(dfd);
  if (!dir) {
    int error = errno;
    ::close(dfd);
    errno = error;
    return false;
  }
  const uid_t me = ::geteuid();
  for (;;) {
    errno = 0;
    dirent* d = ::readdir(dir);
    if (!d) break;
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    if (wanted && !wanted(d->d_name)) continue;
    struct stat st {};
    if (::fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    FolderEntry e;
    e.name = d->d_name;
    e.regular = S_ISREG(st.st_mode);
    e.own = st.st_uid == me;
    e.stamp = stampOf(st);
    entries.push_back(std::move(e));
  }
  const int error = errno;  // 0 at the end of the folder
  ::closedir(dir);
  errno = error;
  if (error != 0) entries.clear();
  return error == 0;
}

HeldFolder::HeldFolder(std::string path) : path_(std::move(path)) {
  do handle_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (handle_ < 0 && errno == EINTR);
}

HeldFolder::~HeldFolder() {
  if (handle_ >= 0) ::close(handle_);
}

FileStamp HeldFolder::stamp(const std::string& name) const {
  // A name with a separator would lead out of the folder: it is looked at by
  // the whole path, as fileStamp does.
  if (handle_ < 0 || name.empty() || name.find('/') != std::string::npos) return fileStamp(path_ + "/" + name);
  struct stat st {};
  if (::fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return {};
  return stampOf(st);
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a second name, then the old one goes.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  return ::unlink(from.c_str()) == 0;
}

}  // namespace nfy::platform
