#include "platform/system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace nfy::platform {

const char kPathSep = '\\';
const char* const kExeSuffix = ".exe";

std::string nativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::tm localTime(std::time_t t) {
  std::tm out{};
  localtime_s(&out, &t);
  return out;
}

bool userName(char* buf, unsigned long size) {
  DWORD n = size;
  return GetUserNameA(buf, &n) != 0;
}

std::string getEnv(const std::string& name) {
  DWORD n = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return "";
  std::string value(n, '\0');
  n = GetEnvironmentVariableA(name.c_str(), value.data(), n);
  value.resize(n);
  return value;
}

namespace {
std::string modulePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}
}  // namespace

std::string exeFolder() {
  std::string p = modulePath();
  size_t slash = p.find_last_of("\\/");
  return slash == std::string::npos ? "" : p.substr(0, slash);
}

std::string exeBaseName() {
  std::string p = modulePath();
  size_t slash = p.find_last_of("\\/");
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string fileVersion(const std::string& path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return "";
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return "";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info) return "";
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

bool claimInstance(const std::string& exePath) {
  // A named mutex per executable, held for the life of the process. Named
  // from a hash of the executable's full path (a mutex name may not hold
  // backslashes), so that separate installations do not see each other.
  char full[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(exePath.c_str(), sizeof full, full, nullptr);
  std::string path = (n > 0 && n < sizeof full) ? std::string(full, n) : exePath;
  uint64_t h = 14695981039346656037ull;
  for (char c : path) {
    unsigned char u = static_cast<unsigned char>(c == '/' ? '\\' : c);
    if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u - 'A' + 'a');  // paths ignore case
    h = (h ^ u) * 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\nfyDesk-%016llx", static_cast<unsigned long long>(h));
  HANDLE m = CreateMutexA(nullptr, FALSE, name);
  return m != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

bool claimSingleInstance() {
  static const bool answer = claimInstance(modulePath());
  return answer;
}

bool writeServiceJournal(const std::string& /*line*/) {
  // No service manager here keeps a journal of standard error; the log file
  // is the only record.
  return false;
}

void writeStandardError(const std::string& text) {
  // A windowless program usually has no standard error; then nothing is
  // written.
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void hideFromTaskList() {
  // The program never creates a window, so it never appears on the task bar;
  // there is nothing further to hide.
}

void nativeMessageBox(const std::string& text, const std::string& title, unsigned style) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), style | MB_SETFOREGROUND);
}

unsigned long formatSystemMessage(unsigned long code, char* buf, unsigned long size) {
  return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buf, size, nullptr);
}

}  // namespace nfy::platform
