// Test helper: marks an installed program as running, the way a first
// instance does, so that a test can start a second instance beside it.
//
//   instance-holder <executable path> <release file>
//
// Prints "holding" (or "taken" when another process held the mark already)
// once the mark is in place, then waits until the release file exists, at
// most two minutes, and ends, which gives the mark up.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/system.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: instance-holder <executable path> <release file>\n");
    return 2;
  }
  bool taken = nfy::platform::claimInstance(argv[1]);
  std::printf("%s\n", taken ? "taken" : "holding");
  std::fflush(stdout);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::error_code ec;
  while (!std::filesystem::exists(argv[2], ec) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return taken ? 1 : 0;
}
