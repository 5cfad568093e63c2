#include "platform/process.h"

#include <windows.h>

#include <vector>

#include "base/errors.h"

namespace nfy::platform {

unsigned long startProcess(const std::string& commandLine, WindowStyle style) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = style == WindowStyle::Hidden ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_BAD_PATHNAME) {
      raiseError(err::kFileNotFound);
    }
    if (e == ERROR_ACCESS_DENIED) raiseError(err::kPermissionDenied);
    throw RuntimeError(5, "Invalid procedure call or argument");
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return pi.dwProcessId;
}

bool hasComRegistration() { return true; }

}  // namespace nfy::platform
