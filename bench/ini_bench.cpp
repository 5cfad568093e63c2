// The INI store's cost for an inbox of 10, 100 and 1,000 messages: storing
// them with one write scope per message (as the program stores a reply) and
// key by key (one flushed replace per key, so this grows with the square of
// the inbox; run for 10 and 100 only), beside the floor of one flushed replace
// per message of a file of the final inbox's size; reading every key back,
// and listing the sections.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "ini_workload.h"

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10, 100, 1000};
  namespace fs = std::filesystem;
  fs::path dir = fs::absolute(".") /
                 ("nfy-ini-bench-" + std::to_string(fs::file_time_type::clock::now().time_since_epoch().count()));
  fs::create_directories(dir);
  const std::string file = fs::absolute(dir / "inbox.ini").string();
  nfy::bench::Engine scoped(true), keyByKey(false);
  std::printf("%9s | %10s %10s %7s | %12s %7s | %12s %10s\n", "messages", "scoped ms", "floor ms", "ratio",
              "per key ms", "ratio", "read all ms", "list ms");
  // Each figure is the median of several runs, the store and its floor taken
  // in turn: the disk is shared with whatever else the machine does.
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  for (int n : sizes) {
    const int runs = n <= 100 ? 5 : 3;
    std::vector<double> store, floor, perKey, read, list;
    for (int r = 0; r < runs; ++r) {
      nfy::bench::Timings t = nfy::bench::runWorkload(scoped, file, n);
      store.push_back(t.storeMs), read.push_back(t.readMs), list.push_back(t.listMs);
      floor.push_back(nfy::bench::floorMs(file, n, static_cast<size_t>(fs::file_size(file))));
      if (n <= 100 && r < 3) perKey.push_back(nfy::bench::runWorkload(keyByKey, file, n).storeMs);
    }
    double f = median(floor);
    std::printf("%9d | %10.1f %10.1f %7.2f | ", n, median(store), f, median(store) / f);
    if (!perKey.empty()) {
      std::printf("%12.1f %7.2f | ", median(perKey), median(perKey) / f);
    } else {
      std::printf("%12s %7s | ", "-", "-");
    }
    std::printf("%12.1f %10.3f\n", median(read), median(list));
  }
  std::printf("ratio: store time / floor (one flushed replace per message of the final file's size)\n");
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
