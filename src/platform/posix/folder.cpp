#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
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

namespace {

// A file of the folder by its name alone (no separator in it).
FileStamp stampAt(int folder, const std::string& name) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return {};
  return stampOf(st);
}

// How far past the last name taken stamp() searches the names looked at
// ahead: the caller leaves out a few (a message whose text changed), not
// runs of thousands.
constexpr size_t kAheadWindow = 64;

}  // namespace

// The looks made ahead: the helper thread writes stamps[k] and then tells
// `made` that k + 1 are made; the caller reads only stamps below that.
struct HeldFolder::Ahead {
  std::vector<std::string> names;
  std::vector<FileStamp> stamps;
  std::atomic<size_t> made{0};
  std::atomic<bool> stop{false};
  size_t next = 0;  // the caller's place in `names`
  std::thread helper;
};

HeldFolder::HeldFolder(std::string path) : path_(std::move(path)) {
  do handle_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (handle_ < 0 && errno == EINTR);
}

HeldFolder::~HeldFolder() {
  if (ahead_ && ahead_->helper.joinable()) {
    ahead_->stop = true;
    ahead_->helper.join();
  }
  if (handle_ >= 0) ::close(handle_);
}

FileStamp HeldFolder::stamp(const std::string& name) const {
  // A name with a separator would lead out of the folder: it is looked at by
  // the whole path, as fileStamp does.
  if (handle_ < 0 || name.empty() || name.find('/') != std::string::npos) return fileStamp(path_ + "/" + name);
  if (ahead_) {
    Ahead& a = *ahead_;
    for (size_t k = a.next, end = std::min(a.names.size(), a.next + kAheadWindow); k < end; ++k) {
      if (a.names[k] != name) continue;
      a.next = k + 1;
      if (k < a.made.load(std::memory_order_acquire)) return a.stamps[k];
      break;
    }
  }
  return stampAt(handle_, name);
}

void HeldFolder::lookAhead(std::vector<std::string> names) {
  if (handle_ < 0 || ahead_) return;
  std::erase_if(names, [](const std::string& n) { return n.empty() || n.find('/') != std::string::npos; });
  if (names.empty()) return;
  auto a = std::make_unique<Ahead>();
  a->names = std::move(names);
  a->stamps.resize(a->names.size());
  try {
    a->helper = std::thread([&ahead = *a, folder = handle_] {
      for (size_t k = 0; k < ahead.names.size() && !ahead.stop.load(std::memory_order_relaxed); ++k) {
        ahead.stamps[k] = stampAt(folder, ahead.names[k]);
        ahead.made.store(k + 1, std::memory_order_release);
      }
    });
  } catch (const std::system_error&) {
    return;  // no thread to be had: every look is made when it is asked for
  }
  ahead_ = std::move(a);
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a second name, then the old one goes.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  return ::unlink(from.c_str()) == 0;
}

}  // namespace nfy::platform
