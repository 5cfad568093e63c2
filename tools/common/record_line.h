// The line format the simulators record: fields joined by tabs, with
// backslash, tab, CR and LF inside a field written as \\, \t, \r and \n so
// that every record stays on one line.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>

namespace sim {

inline std::string escapeField(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

inline std::string recordLine(std::initializer_list<std::string> fields) {
  std::string line;
  bool first = true;
  for (const auto& f : fields) {
    if (!first) line += '\t';
    line += escapeField(f);
    first = false;
  }
  line += '\n';
  return line;
}

// Appends one line to `path` (nothing when the path is empty) and flushes it
// before returning, so a reader never sees half a record. Failures go to
// standard error; the simulator keeps serving.
inline void appendRecord(const std::string& path, const std::string& line) {
  static std::mutex m;
  if (path.empty()) return;
  std::lock_guard<std::mutex> lock(m);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) {
    std::perror(("cannot open record file " + path).c_str());
    return;
  }
  if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fflush(f) != 0)
    std::perror(("cannot write record file " + path).c_str());
  std::fclose(f);
}

// Parses a whole decimal number within [lo, hi]; false on anything else.
inline bool parseNumber(const std::string& s, long long lo, long long hi, long long& out) {
  if (s.empty() || s.size() > 18) return false;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace sim
