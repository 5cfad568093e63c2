#include "platform/file_read.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/win32/file_time.h"
#include "platform/win32/owner.h"

namespace nfy::platform {
namespace {

constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// Why an open failed: Missing only when nothing stands at the name; a file
// that could not be opened must never pass for one that does not exist. A
// folder is not opened as a file at all.
ReadStatus openFailure(const std::string& path) {
  const DWORD e = GetLastError();
  const DWORD a = GetFileAttributesA(path.c_str());
  SetLastError(e);
  if (a != INVALID_FILE_ATTRIBUTES && (a & kNotPlain)) return ReadStatus::NotRegular;
  const bool missing = (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) && a == INVALID_FILE_ATTRIBUTES;
  return missing ? ReadStatus::Missing : ReadStatus::Failed;
}

// Reads `want` bytes at `offset` into `into`; the count read (0 at the
// end of the file), or -1 when the read fails.
long long readAt(HANDLE h, std::uint64_t offset, char* into, size_t want) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  if (!ReadFile(h, into, static_cast<DWORD>(std::min<size_t>(want, 1u << 30)), &n, &at))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

// Reads the open file from its start into `bytes`, at most `limit` bytes.
// The buffer starts at the size the file had and grows as the file turns
// out longer (no size is taken on trust), a small read at a time: a file
// of the size it had is never copied into a larger buffer. False when a
// read fails.
bool readFromStart(HANDLE h, std::uint64_t size, std::uint64_t limit, bool roomToGrow, std::string& bytes) {
  const auto expected = static_cast<size_t>(std::min(size, limit));
  if (roomToGrow) bytes.reserve(withRoomToGrow(expected));
  bytes.resize(expected);
  size_t got = 0;
  while (got < limit) {
    const bool beyond = got == bytes.size();
    char probe[4096];
    const long long n =
        beyond ? readAt(h, got, probe, sizeof probe) : readAt(h, got, bytes.data() + got, bytes.size() - got);
    if (n < 0) return false;
    if (n == 0) break;
    const size_t kept = static_cast<size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(n), limit - got));
    if (beyond) bytes.append(probe, kept);
    got += kept;
  }
  bytes.resize(got);
  return true;
}

ReadStatus readOpened(HANDLE h, const ReadOptions& options, std::string& bytes, FileStamp* stamp) {
  const std::uint64_t limit =
      options.maxBytes >= ReadOptions::kWholeFile - 1 ? ReadOptions::kWholeFile : options.maxBytes + 1;
  // A writer that rewrites the file in place while we read it changes its
  // stamp; read again until the content and the stamp belong together.
  FileStamp before, after;
  if (!stampOfHandle(h, before)) return ReadStatus::Failed;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (before.size > options.maxBytes && !options.keepStart) {
      SetLastError(ERROR_FILE_TOO_LARGE);
      return ReadStatus::TooLarge;
    }
    if (!readFromStart(h, before.size, limit, options.roomToGrow, bytes)) break;
    if (bytes.size() > options.maxBytes && !options.keepStart) {
      SetLastError(ERROR_FILE_TOO_LARGE);  // it grew since it was looked at
      return ReadStatus::TooLarge;
    }
    if (!stampOfHandle(h, after)) break;
    if (before == after && (after.size == bytes.size() || bytes.size() == limit)) {
      if (stamp) *stamp = after;
      return ReadStatus::Ok;
    }
    before = after;
  }
  return ReadStatus::Failed;
}

}  // namespace

ReadStatus readFile(const std::string& path, std::string& bytes, const ReadOptions& options, FileStamp* stamp) {
  bytes.clear();
  // Shares everything, so that neither other readers and writers nor a
  // rename over the file are held up by our handle. Unless followLink, a
  // link or junction at the name is opened itself, and then refused.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | (options.followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return openFailure(path);
  BY_HANDLE_FILE_INFORMATION info;
  ReadStatus result = ReadStatus::Failed;
  DWORD error = ERROR_ACCESS_DENIED;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    result = ReadStatus::NotRegular;  // a pipe or a device opened by name
  } else if (!GetFileInformationByHandle(h, &info)) {
    error = GetLastError();
  } else if (info.dwFileAttributes & kNotPlain) {
    result = ReadStatus::NotRegular;
  } else if (options.ownOnly && !isOwnFile(h)) {
    result = ReadStatus::NotOwn;
  } else {
    result = readOpened(h, options, bytes, stamp);
    error = GetLastError();
  }
  CloseHandle(h);
  if (result != ReadStatus::Ok) bytes.clear();
  SetLastError(result == ReadStatus::Ok ? ERROR_SUCCESS : error);
  return result;
}

}  // namespace nfy::platform
