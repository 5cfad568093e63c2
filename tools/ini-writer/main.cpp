// Writes keys of an INI file through the project's INI store, for the tests
// that kill a writer halfway or run two writers at once.
//
//   ini-writer cycle <file> <keys> <first>    writes forever: step i (from
//                                             <first> on) sets key "K<i mod keys>"
//                                             of section "Crash" to "<i>:" and
//                                             some padding
//   ini-writer many <file> <prefix> <count>   sets "<prefix><n>" = "<n>" in
//                                             section "Shared" for n < count
#include <cstdio>
#include <cstdlib>
#include <string>

#include "inbox/ini_file.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "cycle" && argc == 5) {
    const std::string file = argv[2];
    const long keys = std::atol(argv[3]);
    const std::string padding(300, 'x');
    for (long i = std::atol(argv[4]);; ++i) {
      nfy::ini::writeValue(file, "Crash", "K" + std::to_string(i % keys), std::to_string(i) + ":" + padding);
    }
  }
  if (mode == "many" && argc == 5) {
    const std::string file = argv[2], prefix = argv[3];
    const long count = std::atol(argv[4]);
    int failures = 0;
    for (long n = 0; n < count; ++n) {
      nfy::ini::Outcome outcome = nfy::ini::writeValue(file, "Shared", prefix + std::to_string(n), std::to_string(n));
      if (outcome != nfy::ini::Outcome::Ok) {
        std::fprintf(stderr, "write %s%ld failed (%d)\n", prefix.c_str(), n, static_cast<int>(outcome));
        ++failures;
      }
    }
    return failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: ini-writer cycle <file> <keys> <first> | many <file> <prefix> <count>\n");
  return 2;
}
