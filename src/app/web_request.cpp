#include "app/web_request.h"

#include "app/globals.h"
#include "base/text.h"

namespace nfy {

std::string serviceUrl(const std::string& baseAsRead, const std::string& requestName) {
  std::string trimmed = trim(baseAsRead);
  if (trimmed.empty()) return baseAsRead;
  std::string base = trimmed.back() == '/' ? baseAsRead : trimmed + "/";
  return base + "tfr_" + requestName + ".asp?mmid=" + percentEncode(sMemberID) + "&sid=" + percentEncode(sSiteID) +
         "&rid=" + percentEncode(sRegID) + "&rty=" + percentEncode(sType);
}

std::string xmlEscape(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string percentEncode(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace nfy
