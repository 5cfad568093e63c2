// Decoding and encoding one UTF-8 character, shared by the parts that judge text as a
// reader of UTF-8 will see it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nfy::platform {

// The length of the UTF-8 character that begins at s[i] (at least 2 bytes,
// so s[i] must be 0x80 or above) with its code point in cp; 0 when the
// bytes there are no UTF-8: a stray or cut sequence, an overlong form, a
// surrogate or a code point above U+10FFFF.
inline size_t utf8CharAt(std::string_view s, size_t i, std::uint32_t& cp) {
  auto c = static_cast<unsigned char>(s[i]);
  size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  cp = c & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    auto t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return 0;
  if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return 0;
  return len;
}

// Appends the UTF-8 form of a code point.
inline void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace nfy::platform
