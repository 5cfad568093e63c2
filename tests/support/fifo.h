// Test support (Linux): a FIFO planted where the program expects a file, and
// a bounded wait for a call that must not hang on it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

namespace nfy::test {

inline bool makeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }

// Runs `call` and says whether it ended within a few seconds. A call that
// hangs opening or reading the FIFO is set free (a writer opens and closes
// it) so that the test can go on and fail.
inline bool endsWithoutWaitingOn(const std::string& fifo, const std::function<void()>& call) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) return true;
  int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  done.wait();
  return false;
}

}  // namespace nfy::test
