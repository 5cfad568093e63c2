#include "platform/file_ops.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/append_stream.h"
#include "platform/win32/file_time.h"
#include "platform/win32/owner.h"

namespace nfy::platform {
namespace {

// Shares everything, so that neither other readers and writers nor a
// rename over the file are held up by our handle. A symbolic link or
// junction at the name is opened itself (and then refused by isPlainFile),
// never the file it points to.
HANDLE openShared(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// A file on a disk that is neither a folder nor a link (a pipe or a device
// opened by name is not).
bool isPlainFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) return false;
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Opens with openShared and keeps the handle only for a plain file.
HANDLE openPlain(const std::string& path, DWORD access, DWORD disposition) {
  HANDLE h = openShared(path, access, disposition);
  if (h == INVALID_HANDLE_VALUE || isPlainFile(h)) return h;
  CloseHandle(h);
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

// The SIDs that make a file the running user's own: the token's user, and
// the owner the token gives new objects (the Administrators group for an
// elevated administrator). Read once.
struct OwnSids {
  std::vector<unsigned char> user, owner;
};

const OwnSids& ownSids() {
  static const OwnSids sids = [] {
    OwnSids s;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return s;
    auto query = [&](TOKEN_INFORMATION_CLASS kind, std::vector<unsigned char>& out) {
      DWORD size = 0;
      GetTokenInformation(token, kind, nullptr, 0, &size);
      std::vector<unsigned char> buf(size);
      if (size == 0 || !GetTokenInformation(token, kind, buf.data(), size, &size)) return;
      PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid
                                   : reinterpret_cast<TOKEN_OWNER*>(buf.data())->Owner;
      if (!IsValidSid(sid)) return;
      auto* bytes = static_cast<unsigned char*>(sid);
      out.assign(bytes, bytes + GetLengthSid(sid));
    };
    query(TokenUser, s.user);
    query(TokenOwner, s.owner);
    CloseHandle(token);
    return s;
  }();
  return sids;
}

}  // namespace

bool isRunningUsersSid(PSID owner) {
  if (!owner || !IsValidSid(owner)) return false;
  const OwnSids& mine = ownSids();
  auto same = [&](const std::vector<unsigned char>& sid) {
    return !sid.empty() && EqualSid(owner, const_cast<unsigned char*>(sid.data()));
  };
  return same(mine.user) || same(mine.owner);
}

bool isOwnFile(HANDLE h) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool own = isRunningUsersSid(owner);
  LocalFree(sd);
  return own;
}

namespace {

// openPlain for writing, and only a file of the running user's own: another
// user's file in the shared folder is never written into.
HANDLE openOwnPlain(const std::string& path, DWORD access, DWORD disposition) {
  HANDLE h = openPlain(path, access | READ_CONTROL, disposition);
  if (h == INVALID_HANDLE_VALUE || isOwnFile(h)) return h;
  CloseHandle(h);
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

bool isTransient(DWORD e) {
  return e == ERROR_SHARING_VIOLATION || e == ERROR_ACCESS_DENIED || e == ERROR_LOCK_VIOLATION;
}

}  // namespace

FileStamp fileStamp(const std::string& path) {
  // One call without a handle: opening the file, or asking for its id, costs
  // many times more (and the store asks before every operation).
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  FileStamp s;
  s.exists = true;
  s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  s.modified = toEpochNs(data.ftLastWriteTime);
  return s;
}

Ownership fileOwnership(const std::string& path) {
  HANDLE h = openShared(path, READ_CONTROL | FILE_READ_ATTRIBUTES, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? Ownership::None : Ownership::Other;
  }
  bool own = isPlainFile(h) && isOwnFile(h);
  CloseHandle(h);
  return own ? Ownership::Own : Ownership::Other;
}

std::int64_t fileClockNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return toEpochNs(ft);
}

namespace {

// Renames the open file to `path`, replacing it. Through the handle we hold
// this is one call; MoveFileExA, which opens the file again, serves where
// the system does not take the rename that way.
bool renameOpenFile(HANDLE h, const std::string& from, const std::string& path) {
  int chars = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (chars > 0) {
    std::vector<char> buf(sizeof(FILE_RENAME_INFO) + static_cast<size_t>(chars) * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>((chars - 1) * sizeof(WCHAR));
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, info->FileName, chars);
    if (SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buf.size()))) return true;
    if (isTransient(GetLastError())) return false;
  }
  return MoveFileExA(from.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

// A replace here ends with its rename: the system has no flush of a
// folder, so there is nothing to defer.
bool removeFileDurably(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DeferredFolderFlush::DeferredFolderFlush() : outer_(nullptr) {}
DeferredFolderFlush::~DeferredFolderFlush() = default;
bool DeferredFolderFlush::flush() { return true; }
void DeferredFolderFlush::defer(std::string) {}

bool replaceFileWith(const std::string& path, std::string_view bytes, FileStamp& stamp, unsigned waitMs, NewFile,
                     Durability durability) {
  // A link or a folder at the name is refused. The new file takes its
  // access rights from the folder, as the old one did.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  // Nor is another user's file replaced.
  if (attributes != INVALID_FILE_ATTRIBUTES && fileOwnership(path) == Ownership::Other) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // A fresh name, created new: nobody can have prepared it.
  static std::atomic<unsigned> counter{0};
  std::string tempPath;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tempPath = path + ".tmp." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++counter) + "." +
               std::to_string(GetTickCount() & 0xFFFF);
    h = CreateFileA(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    ok = WriteFile(h, bytes.data() + done, want, &n, nullptr) && n > 0;
    done += n;
  }
  // On the disk before it takes the old file's place.
  ok = ok && (durability == Durability::Unflushed || FlushFileBuffers(h));
  // The stamp of this content, taken before the rename, which keeps it.
  FileStamp written;
  ok = ok && stampOfHandle(h, written);
  // Another program that has the file open without sharing its deletion (the
  // system's own profile functions do that for a moment) makes the rename
  // fail for that moment: try again until the wait runs out.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool renamed = false;
  while (ok && !renamed) {
    renamed = renameOpenFile(h, tempPath, path);
    if (!renamed && (!isTransient(GetLastError()) || std::chrono::steady_clock::now() >= deadline)) break;
    if (!renamed) Sleep(1);
  }
  DWORD error = GetLastError();
  CloseHandle(h);
  if (!renamed) {
    DeleteFileA(tempPath.c_str());
    stamp = {};
    SetLastError(error);
    return false;
  }
  stamp = written;
  return true;
}

FileError lastFileError() {
  const DWORD code = GetLastError();
  FileError e;
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: e.number = 61; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: e.number = 70; break;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE: e.number = 57; break;
    default: e.number = 75; break;
  }
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                           sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ' || buf[n - 1] == '.')) --n;
  e.text = n > 0 ? std::string(buf, n) : "System error " + std::to_string(code);
  // Refusals read as everywhere else in the program's lines.
  if (e.number == 70) e.text = "Permission denied";
  return e;
}

bool isReplaceLeftover(const std::string& name, const std::string& target) {
  // "<target>.tmp.<process>.<counter>.<tick>", names matched without case.
  const std::string prefix = target + ".tmp.";
  if (name.size() <= prefix.size() ||
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(), static_cast<int>(prefix.size()), prefix.data(),
                     static_cast<int>(prefix.size())) != CSTR_EQUAL) {
    return false;
  }
  int dots = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] == '.') {
      ++dots;
    } else if (name[i] < '0' || name[i] > '9') {
      return false;
    }
  }
  return dots == 2;
}

std::FILE* openAppendStream(const std::string& path) {
  // A handle is not inherited unless asked for, and neither is this one.
  return appendStreamOf(openOwnPlain(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS));
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

FileLock::~FileLock() {
  if (handle_ == kNone) return;
  unlock();
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FileLock::open(const std::string& lockPath) {
  if (handle_ != kNone) return true;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    h = openPlain(lockPath, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE && !isTransient(GetLastError())) return false;
    if (h == INVALID_HANDLE_VALUE) Sleep(1);
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool FileLock::lock(unsigned waitMs) {
  if (handle_ == kNone) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  // After a wait ran out, only one try until the lock is had again.
  if (gaveUp_) waitMs = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (unsigned pause = 0;; ++pause) {
    OVERLAPPED whole{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
      gaveUp_.reset();
      return locked_ = true;
    }
    DWORD e = GetLastError();
    if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING) return false;
    if (std::chrono::steady_clock::now() >= deadline) {
      if (waitMs > 0) gaveUp_ = std::make_shared<bool>(true);
      return false;
    }
    Sleep(pause < 50 ? 0 : 1);
  }
}

void FileLock::unlock() {
  if (!locked_) return;
  OVERLAPPED whole{};
  UnlockFileEx(reinterpret_cast<HANDLE>(handle_), 0, 1, 0, &whole);
  locked_ = false;
}

void sleepMs(unsigned ms) { Sleep(ms); }

}  // namespace nfy::platform
