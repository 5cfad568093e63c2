#include "platform/file_ops.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace nfy::platform {
namespace {

// FILETIME counts 100 ns from 1601; the stamp counts ns from 1970.
constexpr std::int64_t kEpochDelta100ns = 116444736000000000LL;

std::int64_t toEpochNs(const FILETIME& ft) {
  std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kEpochDelta100ns) * 100;
}

bool stampOfHandle(HANDLE h, FileStamp& s) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  s.exists = true;
  s.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  s.modified = toEpochNs(info.ftLastWriteTime);
  s.volume = info.dwVolumeSerialNumber;
  s.id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// Shares everything, so that neither other readers and writers nor a
// rename over the file are held up by our handle.
HANDLE openShared(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool isTransient(DWORD e) {
  return e == ERROR_SHARING_VIOLATION || e == ERROR_ACCESS_DENIED || e == ERROR_LOCK_VIOLATION;
}

}  // namespace

FileStamp fileStamp(const std::string& path) {
  if (path.empty()) return {};
  HANDLE h = openShared(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return {};
  FileStamp s;
  if (!stampOfHandle(h, s)) s = {};
  CloseHandle(h);
  return s;
}

std::int64_t fileClockNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return toEpochNs(ft);
}

ReadStatus readFileWithStamp(const std::string& path, std::string& bytes, FileStamp& stamp) {
  bytes.clear();
  HANDLE h = openShared(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing : ReadStatus::Failed;
  }
  ReadStatus result = ReadStatus::Failed;
  // A writer that rewrites the file in place while we read it changes its
  // stamp; read again until the content and the stamp belong together.
  for (int attempt = 0; attempt < 5; ++attempt) {
    FileStamp before, after;
    if (!stampOfHandle(h, before)) break;
    bytes.resize(static_cast<size_t>(before.size));
    size_t got = 0;
    bool ok = true;
    for (;;) {
      if (got == bytes.size()) bytes.resize(bytes.size() + 4096);
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(got);
      at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(got) >> 32);
      DWORD n = 0;
      DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - got, 1u << 30));
      if (!ReadFile(h, bytes.data() + got, want, &n, &at)) {
        ok = GetLastError() == ERROR_HANDLE_EOF;
        break;
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    if (!ok || !stampOfHandle(h, after)) break;
    if (before == after && after.size == got) {
      stamp = after;
      result = ReadStatus::Ok;
      break;
    }
  }
  CloseHandle(h);
  if (result != ReadStatus::Ok) bytes.clear();
  return result;
}

bool writeFileBytes(const std::string& path, std::string_view bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    ok = WriteFile(h, bytes.data() + done, want, &n, nullptr) && n > 0;
    done += n;
  }
  return CloseHandle(h) && ok;
}

bool replaceFile(const std::string& from, const std::string& to, unsigned waitMs) {
  // Another program that has the file open without sharing its deletion
  // (the system's own profile functions do that for a moment) makes the
  // rename fail for that moment: try again until the wait runs out.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    if (!isTransient(GetLastError()) || std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(1);
  }
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

FileLock::~FileLock() { release(); }

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

bool FileLock::acquire(const std::string& lockPath, unsigned waitMs) {
  release();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  HANDLE h = INVALID_HANDLE_VALUE;
  for (;;) {
    h = openShared(lockPath, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (h != INVALID_HANDLE_VALUE) break;
    if (!isTransient(GetLastError()) || std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(1);
  }
  unsigned pause = 0;
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
      handle_ = reinterpret_cast<std::intptr_t>(h);
      return true;
    }
    DWORD e = GetLastError();
    if ((e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING) || std::chrono::steady_clock::now() >= deadline) break;
    Sleep(pause++ < 50 ? 0 : 1);
  }
  CloseHandle(h);
  return false;
}

void FileLock::release() {
  if (handle_ == kNone) return;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED whole{};
  UnlockFileEx(h, 0, 1, 0, &whole);
  CloseHandle(h);
  handle_ = kNone;
}

void sleepMs(unsigned ms) { Sleep(ms); }

}  // namespace nfy::platform
