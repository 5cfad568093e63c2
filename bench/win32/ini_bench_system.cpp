// The INI store beside the system's private-profile functions on the inbox
// workload, with the ratio system time / store time (above 1: the store is
// faster).
#include <windows.h>

#include <filesystem>

#include "../ini_workload.h"

namespace {

struct System : nfy::bench::IniApi {
  void write(const std::string& file, const std::string& s, const std::string& k, const std::string& v) override {
    WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), file.c_str());
  }
  std::string read(const std::string& file, const std::string& s, const std::string& k) override {
    char buf[1000];
    DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buf, sizeof buf, file.c_str());
    return std::string(buf, n);
  }
  size_t list(const std::string& file) override {
    static std::string buf(1 << 20, '\0');
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), file.c_str());
    size_t count = 0;
    for (DWORD i = 0; i < n; ++i) count += buf[i] == '\0';
    return count;
  }
};

}  // namespace

int main() {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("nfy-ini-bench-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  const std::string mine = fs::absolute(dir / "engine.ini").string();
  const std::string theirs = fs::absolute(dir / "system.ini").string();
  nfy::bench::Engine engine;
  System system;
  std::printf("%9s | %10s %10s %6s | %10s %10s %6s | %9s %9s %6s\n", "messages", "store ms", "system", "ratio",
              "read ms", "system", "ratio", "list ms", "system", "ratio");
  for (int n : {10, 100, 1000}) {
    nfy::bench::Timings a = nfy::bench::runWorkload(engine, mine, n);
    nfy::bench::Timings b = nfy::bench::runWorkload(system, theirs, n);
    std::printf("%9d | %10.1f %10.1f %6.2f | %10.1f %10.1f %6.2f | %9.3f %9.3f %6.2f\n", n, a.storeMs, b.storeMs,
                b.storeMs / a.storeMs, a.readMs, b.readMs, b.readMs / a.readMs, a.listMs, b.listMs,
                b.listMs / a.listMs);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
