#include "platform/own_files.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32/file_time.h"
#include "platform/win32/owner.h"
#include "platform/win32/read_capped.h"

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

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  if (!isPlainFolder(folder)) return false;
  std::string base = folder;
  if (base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((base + "*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = d.cFileName;
    if (name == "." || name == "..") continue;
    FolderEntry e;
    e.name = name;
    e.regular = (d.dwFileAttributes & kNotPlain) == 0;
    e.own = ownedByMe(base + name);
    e.stamp.exists = true;
    e.stamp.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    e.stamp.modified = toEpochNs(d.ftLastWriteTime);
    entries.push_back(std::move(e));
  } while (FindNextFileA(h, &d));
  FindClose(h);
  return true;
}

OwnRead readOwnFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes, FileStamp& stamp) {
  bytes.clear();
  // A link or junction at the name is opened itself, and then refused.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? OwnRead::Missing : OwnRead::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  OwnRead result = OwnRead::Failed;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    result = OwnRead::NotRegular;
  } else if (!GetFileInformationByHandle(h, &info)) {
    result = OwnRead::Failed;
  } else if (info.dwFileAttributes & kNotPlain) {
    result = OwnRead::NotRegular;
  } else if (!isOwnFile(h)) {
    result = OwnRead::NotOwn;
  } else {
    std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes) {
      result = OwnRead::TooLarge;
    } else {
      result = readUpTo(h, static_cast<size_t>(maxBytes) + 1, bytes) ? OwnRead::Ok : OwnRead::Failed;
      const size_t got = bytes.size();
      BY_HANDLE_FILE_INFORMATION after;
      if (result == OwnRead::Ok && got > maxBytes) result = OwnRead::TooLarge;
      if (result == OwnRead::Ok && (!GetFileInformationByHandle(h, &after) || got != size ||
                                    CompareFileTime(&after.ftLastWriteTime, &info.ftLastWriteTime) != 0)) {
        result = OwnRead::Failed;  // rewritten while it was read
      }
      if (result == OwnRead::Ok) {
        stamp = {};
        stamp.exists = true;
        stamp.size = size;
        stamp.modified = toEpochNs(info.ftLastWriteTime);
      }
    }
  }
  CloseHandle(h);
  if (result != OwnRead::Ok) bytes.clear();
  return result;
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes it fail.
  return MoveFileExA(from.c_str(), to.c_str(), 0) != 0;
}

}  // namespace nfy::platform
