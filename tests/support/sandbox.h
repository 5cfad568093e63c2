// Test support: a scratch folder per test, the log of a run, and the reset of
// every module global.
#pragma once

#include <string>
#include <vector>

namespace nfy::test {

// A fresh, empty folder below the build tree, removed when the object goes.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  // The folder with the platform's separator at the end.
  const std::string& dir() const { return dir_; }
  // A path inside the sandbox ("a\\b" or "a/b" both work).
  std::string path(const std::string& relative) const;
  void mkdirs(const std::string& relative) const;
  void write(const std::string& relative, const std::string& bytes) const;
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;

 private:
  std::string dir_;
};

// Opens a log file in the sandbox; lines() reads back the messages (the part
// after the tab) of every line written since.
class CapturedLog {
 public:
  explicit CapturedLog(const Sandbox& box);
  ~CapturedLog();
  std::vector<std::string> lines() const;  // messages only, banner dropped
  std::string text() const;                // raw file contents
  // Opens the log again (appending, after a new banner) once a procedure
  // that ended the run has closed it.
  void reopen() const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);

// Clears every module global of every subsystem.
void resetAllGlobals();

// A fresh start on an inbox in the sandbox: every global cleared, no INI
// file cached, and nfyDeskInbox_user.ini the inbox that is read and
// written. Returns its path.
std::string startWithInbox(const Sandbox& box);

}  // namespace nfy::test
