// File times and stamps as the file helpers share them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/file_ops.h"

namespace nfy::platform {

// FILETIME counts 100 ns from 1601; the stamp counts ns from 1970.
inline std::int64_t toEpochNs(const FILETIME& ft) {
  constexpr std::int64_t kEpochDelta100ns = 116444736000000000LL;
  std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kEpochDelta100ns) * 100;
}

// The stamp of an open file (id and volume left 0, as fileStamp leaves
// them); false when the system cannot say.
inline bool stampOfHandle(HANDLE h, FileStamp& s) {
  FILETIME written;
  LARGE_INTEGER size;
  if (!GetFileTime(h, nullptr, nullptr, &written) || !GetFileSizeEx(h, &size)) return false;
  s = {};
  s.exists = true;
  s.size = static_cast<std::uint64_t>(size.QuadPart);
  s.modified = toEpochNs(written);
  return true;
}

}  // namespace nfy::platform
