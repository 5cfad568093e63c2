// A helper program started by a test, killed or waited for.
#pragma once

#include <string>
#include <vector>

namespace nfy::test {

class ChildProcess {
 public:
  // Starts the program with the arguments; fails the test when it cannot.
  explicit ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Ends it at once, wherever it is.
  void kill();
  // Waits for it to end; its exit code.
  int wait();

 private:
  long long handle_ = -1;
  bool done_ = false;
};

// The path of a helper program built under tools/.
std::string toolPath(const std::string& name);

}  // namespace nfy::test
