#include "platform/folder.h"

#include <windows.h>

#include <utility>
// After windows.h.
#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32/file_time.h"
#include "platform/win32/owner.h"

namespace nfy::platform {
namespace {

constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

bool ownedByMe(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                            &sd) != ERROR_SUCCESS) {
    return false;
  }
  bool mine = isRunningUsersSid(owner);
  LocalFree(sd);
  return mine;
}

}  // namespace

bool isPlainFolder(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isOwnFolder(const std::string& path) { return isPlainFolder(path) && ownedByMe(path); }

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries, FolderLink link,
                const EntryNames& wanted) {
  entries.clear();
  const DWORD a = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(folder.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (link == FolderLink::Refused && (a & FILE_ATTRIBUTE_REPARSE_POINT))) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  std::string base = folder;
  if (base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((base + "*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = d.cFileName;
    if (name == "." || name == "..") continue;
    if (wanted && !wanted(name)) continue;
    FolderEntry e;
    e.name = name;
    e.regular = (d.dwFileAttributes & kNotPlain) == 0;
    e.own = ownedByMe(base + name);
    e.stamp.exists = true;
    e.stamp.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    e.stamp.modified = toEpochNs(d.ftLastWriteTime);
    entries.push_back(std::move(e));
  } while (FindNextFileA(h, &d));
  const DWORD error = GetLastError();  // ERROR_NO_MORE_FILES at the end
  FindClose(h);
  SetLastError(error);
  if (error != ERROR_NO_MORE_FILES) entries.clear();
  return error == ERROR_NO_MORE_FILES;
}

struct HeldFolder::Ahead {};

HeldFolder::HeldFolder(std::string path) : path_(std::move(path)) {}

HeldFolder::~HeldFolder() = default;

FileStamp HeldFolder::stamp(const std::string& name) const { return fileStamp(path_ + "\\" + name); }

void HeldFolder::lookAhead(std::vector<std::string>) {}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes it fail.
  return MoveFileExA(from.c_str(), to.c_str(), 0) != 0;
}

}  // namespace nfy::platform
