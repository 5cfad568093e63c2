// File times as the stamps count them (shared by the file helpers).
#pragma once

#include <windows.h>

#include <cstdint>

namespace nfy::platform {

// FILETIME counts 100 ns from 1601; the stamp counts ns from 1970.
inline std::int64_t toEpochNs(const FILETIME& ft) {
  constexpr std::int64_t kEpochDelta100ns = 116444736000000000LL;
  std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kEpochDelta100ns) * 100;
}

}  // namespace nfy::platform
