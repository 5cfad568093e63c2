#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
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

// The words of a command line whose program path may hold blanks without
// quotes ("/opt/VELT agent/nfyDesk/nfyInbox.exe"): as on Windows, the
// shortest run of leading words that names an existing file is the program,
// and the rest are its arguments. A line that begins with a quote, or whose
// leading words name no file, is split at every blank.
std::vector<std::string> commandWords(const std::string& line) {
  // A bare program name ("regsvr32 -s ...") is looked up on the search path.
  bool path = line.substr(0, line.find(' ')).find('/') != std::string::npos;
  if (path && line.find('"') == std::string::npos) {
    for (size_t end = line.find(' ');; end = line.find(' ', end + 1)) {
      std::string program = line.substr(0, end);
      struct stat st {};
      if (stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::vector<std::string> words = splitCommandLine(end == std::string::npos ? "" : line.substr(end));
        words.insert(words.begin(), program);
        return words;
      }
      if (end == std::string::npos) break;
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
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc == ENOENT || rc == ENOTDIR) raiseError(err::kFileNotFound);
  if (rc == EACCES || rc == EPERM) raiseError(err::kPermissionDenied);
  if (rc != 0) throw RuntimeError(5, "Invalid procedure call or argument");
  return static_cast<unsigned long>(pid);
}

bool hasComRegistration() { return false; }

}  // namespace nfy::platform
