#include "bridges/win32/com_support.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "support/sandbox.h"

namespace nfy::test::com {
namespace {

std::string fullPath(const std::string& path) {
  char buf[MAX_PATH * 2] = {};
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  return n ? std::string(buf, n) : path;
}

// Starts a command line; waits for it and answers its exit code when `wait`.
unsigned long run(const std::string& commandLine, bool wait) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return static_cast<unsigned long>(-1);
  }
  DWORD code = 0;
  // A Unix program started by Wine comes back without handles.
  if (pi.hProcess) {
    if (wait) {
      WaitForSingleObject(pi.hProcess, INFINITE);
      GetExitCodeProcess(pi.hProcess, &code);
    }
    CloseHandle(pi.hProcess);
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  return code;
}

// The Unix form of a Windows path on the drive that maps the root.
std::string unixPath(std::string path) {
  path = fullPath(path);
  if (path.size() > 1 && path[1] == ':') path.erase(0, 2);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string simProgram() {
  const char* env = std::getenv("NFY_LINUX_BUILD_DIR");
  std::string linuxBuild = env && *env ? env : std::string(NFY_TEST_BINARY_DIR) + "/../linux";
  return linuxBuild + "/tools/provider-sim/provider-sim";
}

}  // namespace

std::string builtComponent(const std::string& fileName) {
  return fullPath(std::string(NFY_TEST_BINARY_DIR) + "\\tools\\win-components\\" + fileName);
}

unsigned long regsvr32(const std::string& path, bool unregister) {
  return run(std::string("regsvr32 -s ") + (unregister ? "-u " : "") + path, true);
}

bool isRegistered(const std::string& progId) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), 0, KEY_READ, &key) != 0) return false;
  RegCloseKey(key);
  return true;
}

std::string registeredServer(const std::string& progId) {
  char clsid[64] = {};
  LONG size = sizeof clsid;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), clsid, &size) != 0) return "";
  char path[MAX_PATH * 2] = {};
  size = sizeof path;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid + "\\InprocServer32").c_str(), path, &size) !=
      0) {
    return "";
  }
  return path;
}

bool samePath(const std::string& a, const std::string& b) {
  return _stricmp(fullPath(a).c_str(), fullPath(b).c_str()) == 0;
}

bool awaitRegistration(const std::string& progId) {
  for (int i = 0; i < 600; ++i) {
    if (isRegistered(progId)) return true;
    Sleep(100);
  }
  return false;
}

ProviderSim::ProviderSim(const std::string& workDir, const std::string& messages) : workDir_(workDir) {
  std::error_code ec;
  if (!std::filesystem::exists(fullPath(simProgram()), ec)) return;
  auto write = [](const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(h);
  };
  write(workDir_ + "messages.txt", messages);
  std::string script = "echo $$ > " + quoted(unixPath(workDir_ + "sim.pid")) + "; exec " + quoted(simProgram()) +
                       " --port 0 --messages " + quoted(unixPath(workDir_ + "messages.txt")) + " --record " +
                       quoted(unixPath(workDir_ + "record.txt")) + " > " + quoted(unixPath(workDir_ + "sim.out"));
  run("/bin/sh -c \"" + script + "\"", false);
  const std::string marker = "listening on 127.0.0.1:";
  for (int i = 0; i < 300 && port_ == 0; ++i) {
    std::string out = readFile(workDir_ + "sim.out");
    size_t at = out.find(marker);
    if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
      port_ = std::atoi(out.c_str() + at + marker.size());
    } else {
      Sleep(100);
    }
  }
  pid_ = readFile(workDir_ + "sim.pid");
  while (!pid_.empty() && (pid_.back() == '\n' || pid_.back() == '\r')) pid_.pop_back();
}

ProviderSim::~ProviderSim() {
  if (!pid_.empty()) run("/bin/kill " + pid_, false);
}

std::string ProviderSim::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

std::string ProviderSim::recorded() const { return readFile(workDir_ + "record.txt"); }

}  // namespace nfy::test::com
