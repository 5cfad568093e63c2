// Test helper: a program started beside the test (a simulator, a private
// session bus), read line by line and stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace nfy::test {

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> env;  // "NAME=value" entries added to the test's environment
    bool holdStdin = false;        // stdin is a pipe that stays open as long as this object
    bool quietStderr = false;      // stderr goes to /dev/null
  };
  explicit ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}
  ChildProcess(const std::vector<std::string>& argv, const Options& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of standard output (without the line break); false when
  // none arrives within timeoutMs or the program has ended.
  bool readLine(std::string& line, int timeoutMs);
  // Sends SIGTERM and waits; returns the wait status.
  int stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  std::string buffered_;
};

// A program of the build tree's tools folder, e.g. toolPath("provider-sim").
std::string toolPath(const std::string& name);

// Sets (or, with nullptr, removes) an environment variable until the end of
// the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_;
};

}  // namespace nfy::test
