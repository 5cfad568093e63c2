#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "app/errors.h"

extern char** environ;

namespace nfy::platform {
namespace {

// Splits a command line at blanks; double quotes group words.
std::vector<std::string> splitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted, any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear(), any = false;
    } else {
      word += c, any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

}  // namespace

unsigned long startProcess(const std::string& commandLine, WindowStyle /*style: no windows to hide*/) {
  std::vector<std::string> words = splitCommandLine(commandLine);
  if (words.empty()) raiseError(err::kFileNotFound);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // The started program outlives this one and is never waited for: let the
  // system reap it.
  std::signal(SIGCHLD, SIG_IGN);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc == ENOENT || rc == ENOTDIR) raiseError(err::kFileNotFound);
  if (rc == EACCES || rc == EPERM) raiseError(err::kPermissionDenied);
  if (rc != 0) throw RuntimeError(5, "Invalid procedure call or argument");
  return static_cast<unsigned long>(pid);
}

bool hasComRegistration() { return false; }

}  // namespace nfy::platform
