// The INI store's cost for an inbox of 10, 100 and 1,000 messages: storing
// them (each write replaces the whole file, so this grows with the square of
// the inbox), reading every key back, and listing the sections.
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "ini_workload.h"

namespace {}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10, 100, 1000};
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() /
                 ("nfy-ini-bench-" + std::to_string(fs::file_time_type::clock::now().time_since_epoch().count()));
  fs::create_directories(dir);
  const std::string file = fs::absolute(dir / "inbox.ini").string();
  nfy::bench::Engine engine;
  std::printf("%9s %8s %12s %12s %14s %12s\n", "messages", "writes", "store ms", "us/write", "read all ms", "list ms");
  for (int n : sizes) {
    nfy::bench::Timings t = nfy::bench::runWorkload(engine, file, n);
    int writes = n * static_cast<int>(nfy::bench::messageKeys().size());
    std::printf("%9d %8d %12.1f %12.1f %14.1f %12.3f\n", n, writes, t.storeMs, 1000 * t.storeMs / writes, t.readMs,
                t.listMs);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
