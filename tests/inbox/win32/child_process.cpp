#include "inbox/child_process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/system.h"

namespace nfy::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string line = "\"" + program + "\"";
  for (const std::string& a : args) line += " \"" + a + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &si, &pi);
  EXPECT_TRUE(ok) << "cannot start " << program << " (" << GetLastError() << ")";
  if (!ok) return;
  CloseHandle(pi.hThread);
  handle_ = reinterpret_cast<long long>(pi.hProcess);
}

ChildProcess::~ChildProcess() {
  if (handle_ != -1 && !done_) {
    kill();
    wait();
  }
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void ChildProcess::kill() {
  if (handle_ != -1 && !done_) TerminateProcess(reinterpret_cast<HANDLE>(handle_), 137);
}

int ChildProcess::wait() {
  if (handle_ == -1) return -1;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  WaitForSingleObject(h, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(h, &code);
  done_ = true;
  return static_cast<int>(code);
}

std::string toolPath(const std::string& name) {
  return platform::nativePath(std::string(NFY_TEST_BINARY_DIR) + "/tools/" + name + "/" + name + ".exe");
}

}  // namespace nfy::test
