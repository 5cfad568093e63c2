// Test stand-in for the agent's browser control (a COM server file that
// regsvr32 registers). Registering appends "registered <path of this file>"
// to the file named by the environment variable NFY_OCX_RECORD.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {
HMODULE self = nullptr;

HRESULT record(const char* what) {
  const char* file = std::getenv("NFY_OCX_RECORD");
  if (!file || !*file) return S_OK;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(self, path, MAX_PATH);
  if (std::FILE* f = std::fopen(file, "ab")) {
    std::fprintf(f, "%s %s\n", what, path);
    std::fclose(f);
  }
  return S_OK;
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" HRESULT __stdcall DllRegisterServer() { return record("registered"); }
extern "C" HRESULT __stdcall DllUnregisterServer() { return record("unregistered"); }
