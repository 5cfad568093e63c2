// White space as XML counts it, shared by both DOM implementations.
#pragma once

#include <string>
#include <string_view>

namespace nfy::platform::xml {

inline bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string trimXmlSpace(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && isXmlSpace(s[b])) ++b;
  while (e > b && isXmlSpace(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace nfy::platform::xml
