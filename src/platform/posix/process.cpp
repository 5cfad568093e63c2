#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "base/errors.h"

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

// A file that may be started: an executable regular file (a folder or a
// plain file named like the start of the path is passed over).
bool isProgramFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The words of a command line whose program path may hold blanks without
// quotes ("/opt/VELT agent/nfyDesk/nfyInbox.exe"): the whole line when it
// names a program, else, as on Windows, the shortest run of leading words
// that names one, with the rest as its arguments. A line that begins with a
// quote, or whose leading words name no program, is split at every blank.
std::vector<std::string> commandWords(const std::string& line) {
  // A bare program name ("regsvr32 -s ...") is looked up on the search path.
  bool path = line.substr(0, line.find(' ')).find('/') != std::string::npos;
  if (path && line.find('"') == std::string::npos) {
    if (isProgramFile(line)) return {line};
    for (size_t end = line.find(' '); end != std::string::npos; end = line.find(' ', end + 1)) {
      std::string program = line.substr(0, end);
      if (isProgramFile(program)) {
        std::vector<std::string> words = splitCommandLine(line.substr(end));
        words.insert(words.begin(), program);
        return words;
      }
    }
  }
  return splitCommandLine(line);
}

}  // namespace

unsigned long startProcess(const std::string& commandLine, WindowStyle /*style: no windows to hide*/) {
  std::vector<std::string> words = commandWords(commandLine);
  if (words.empty()) raiseError(err::kFileNotFound);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // The started program outlives this one and is never waited for: let the
  // system reap it.
  std::signal(SIGCHLD, SIG_IGN);
  // ...but the started program begins as if started afresh: every signal
  // with its default disposition (one that waits for its own children would
  // not see them end, one that writes to a closed pipe would not stop) and
  // none blocked.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) raiseError(err::kOutOfMemory);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc == ENOENT || rc == ENOTDIR) raiseError(err::kFileNotFound);
  if (rc == EACCES || rc == EPERM) raiseError(err::kPermissionDenied);
  if (rc != 0) throw RuntimeError(5, "Invalid procedure call or argument");
  return static_cast<unsigned long>(pid);
}

bool hasComRegistration() { return false; }

}  // namespace nfy::platform
