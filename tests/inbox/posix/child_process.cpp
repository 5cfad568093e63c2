#include "inbox/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace nfy::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  EXPECT_EQ(rc, 0) << "cannot start " << program;
  if (rc == 0) handle_ = pid;
}

ChildProcess::~ChildProcess() {
  if (handle_ > 0 && !done_) {
    kill();
    wait();
  }
}

void ChildProcess::kill() {
  if (handle_ > 0 && !done_) ::kill(static_cast<pid_t>(handle_), SIGKILL);
}

int ChildProcess::wait() {
  if (handle_ <= 0) return -1;
  int status = 0;
  while (waitpid(static_cast<pid_t>(handle_), &status, 0) < 0 && errno == EINTR) {
  }
  done_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string toolPath(const std::string& name) {
  return std::string(NFY_TEST_BINARY_DIR) + "/tools/" + name + "/" + name;
}

}  // namespace nfy::test
