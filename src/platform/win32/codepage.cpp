#include "platform/codepage.h"

#include <windows.h>

namespace nfy::platform {
namespace {

std::string convert(std::string_view text, UINT from, UINT to) {
  if (text.empty()) return {};
  int n = static_cast<int>(text.size());
  int wide = MultiByteToWideChar(from, 0, text.data(), n, nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(from, 0, text.data(), n, w.data(), wide);
  int bytes = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::string ansiToUtf8(std::string_view text) { return convert(text, CP_ACP, CP_UTF8); }
std::string utf8ToAnsi(std::string_view text) { return convert(text, CP_UTF8, CP_ACP); }

}  // namespace nfy::platform
