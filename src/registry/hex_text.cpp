#include "registry/hex_text.h"

#include <cmath>

#include "base/text.h"

namespace nfy::registry {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string withoutBlanks(const std::string& s) { return trim(replaceAll(s, " ", "")); }

}  // namespace

std::string strToBin(std::string& sBin) {
  sBin = withoutBlanks(sBin);
  std::string out;
  if (sBin.empty()) return out;
  // Half the length rounded to the nearest whole number, ties to even.
  size_t pieces = static_cast<size_t>(std::nearbyint(static_cast<double>(sBin.size()) / 2.0));
  for (size_t i = 0; i < pieces; ++i) {
    std::string_view piece = std::string_view(sBin).substr(2 * i, 2);
    int value = 0;
    for (char c : piece) {
      int d = hexValue(c);
      if (d < 0) break;
      value = value * 16 + d;
    }
    out += static_cast<char>(value);
  }
  return out;
}

std::string binToStr(const std::string& sStr) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(sStr.size() * 3);
  for (unsigned char c : sStr) {
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool isBinValid(const std::string& sBin) {
  std::string s = toUpper(withoutBlanks(sBin));
  if (s.empty()) return false;
  return s.find_first_not_of("0123456789ABCDEF ") == std::string::npos;
}

}  // namespace nfy::registry
