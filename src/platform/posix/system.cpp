#include "platform/system.h"

#include <fcntl.h>
#include <libnotify/notify.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
// The entries name no source file of the build.
#define SD_JOURNAL_SUPPRESS_LOCATION

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/posix/journal_socket.h"
#include "version.h"

namespace nfy::platform {

const char kPathSep = '/';
const char* const kExeSuffix = "";

std::string nativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::tm localTime(std::time_t t) {
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

bool userName(char* buf, unsigned long size) {
  struct passwd pw {};
  struct passwd* result = nullptr;
  char scratch[4096];
  if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &result) != 0 || !result) return false;
  size_t len = std::strlen(result->pw_name);
  if (len + 1 > size) return false;
  std::memcpy(buf, result->pw_name, len + 1);
  return true;
}

std::string getEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? v : "";
}

namespace {
std::filesystem::path exePath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}
}  // namespace

std::string exeFolder() { return exePath().parent_path().string(); }
std::string exeBaseName() { return exePath().stem().string(); }

std::string fileVersion(const std::string& path) {
  // Only this project's executables carry a version on Linux: the one compiled in.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return "";
  return std::filesystem::equivalent(path, exePath(), ec) ? NFY_VERSION_TEXT : "";
}

namespace {
// FNV-1a: a stable short name for a path, the same in every program built
// from this code.
std::string pathHash(const std::string& path) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : path) h = (h ^ c) * 1099511628211ull;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}
}  // namespace

namespace {

// A folder that only the user may change: the folder itself (not a link),
// the effective user's own, with no write right for group or others.
bool isPrivateFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

std::string homeFolder() {
  std::string home = getEnv("HOME");
  if (!home.empty()) return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  char scratch[4096];
  if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &result) != 0 || !result || !result->pw_dir) return "";
  return result->pw_dir;
}

// The folder of the instance lock: one that nobody but the user can put a
// file into. The run-time folder when it is such a folder, else the cache
// folder in the user's home (made when missing); empty when neither is.
std::string lockFolder() {
  std::string runtime = getEnv("XDG_RUNTIME_DIR");
  if (isPrivateFolder(runtime)) return runtime;
  std::string home = homeFolder();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (!isPrivateFolder(home)) return "";
  std::string cache = home + "/.cache";
  if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) return "";
  return isPrivateFolder(cache) ? cache : "";
}

}  // namespace

bool claimInstance(const std::string& exePath) {
  // A lock file per user and executable: the first instance holds it for its
  // whole life; a later one that cannot take it knows another one runs.
  // Keyed on the executable's full path, so that separate installations (and
  // separate test sandboxes) do not see each other.
  std::error_code ec;
  std::filesystem::path full = std::filesystem::weakly_canonical(exePath, ec);
  if (ec) full = exePath;
  // Only a folder of the user's own: anyone who can hold the lock file
  // makes every run believe that another instance runs.
  std::string dir = lockFolder();
  if (dir.empty()) return false;
  std::string path = dir + "/nfyDesk-" + std::to_string(geteuid()) + "-" + pathHash(full.string()) + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;  // kept open: held until the process ends
  ::close(fd);
  return true;
}

bool claimSingleInstance() {
  static const bool answer = claimInstance(exePath().string());
  return answer;
}

bool writeServiceJournal(const std::string& line) {
  // Only the stream that systemd handed over: standard error of a program
  // started from a terminal or a pipe inherits JOURNAL_STREAM as well, and
  // must get nothing.
  const char* stream = std::getenv("JOURNAL_STREAM");
  unsigned long long dev = 0, ino = 0;
  struct stat st {};
  if (!stream || std::sscanf(stream, "%llu:%llu", &dev, &ino) != 2 || fstat(STDERR_FILENO, &st) != 0 ||
      st.st_dev != dev || st.st_ino != ino)
    return false;
  // The journal's own protocol, not the stream: there the journal reads a
  // "<N>" prefix as the priority, also at the start of each piece of a line
  // it splits, so text from the service could set its own level. Here the
  // priority is a field of its own and the text one field, whatever it
  // holds. The entry is a datagram sent without SIGPIPE; a journal that
  // cannot be reached loses the line (the log file still has it).
  static const std::string identifier = exeBaseName();
  const JournalField fields[] = {{"MESSAGE", line}, {"PRIORITY", "3"}, {"SYSLOG_IDENTIFIER", identifier}};
  (void)sendJournalEntry(fields);
  return true;
}

void writeStandardError(const std::string& text) {
  // SIGPIPE is held back around this one write only (a broken stream then
  // answers EPIPE), and one that the write raised is taken back before the
  // mask is restored; the process's handling and what started programs get
  // stay as they are.
  sigset_t pipeSignal, old, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  sigemptyset(&pending);
  sigpending(&pending);
  const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
  if (pthread_sigmask(SIG_BLOCK, &pipeSignal, &old) != 0) return;
  bool broken = false;
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      broken = n < 0 && errno == EPIPE;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (broken && !pendingBefore) {
    struct timespec none {};
    while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void hideFromTaskList() {}

void nativeMessageBox(const std::string& text, const std::string& title, unsigned /*style*/) {
  // A critical desktop notification where a notification service exists,
  // standard error otherwise.
  bool shown = false;
  if (notify_init(title.c_str())) {
    NotifyNotification* n = notify_notification_new(title.c_str(), text.c_str(), "dialog-error");
    notify_notification_set_urgency(n, NOTIFY_URGENCY_CRITICAL);
    shown = notify_notification_show(n, nullptr);
    g_object_unref(G_OBJECT(n));
    notify_uninit();
  }
  if (!shown) writeStandardError(title + ": " + text + "\n");
}

unsigned long formatSystemMessage(unsigned long code, char* buf, unsigned long size) {
  // The system texts of the status codes the registry store returns.
  const char* text = nullptr;
  switch (code) {
    case 0: text = "The operation completed successfully."; break;
    case 2: text = "The system cannot find the file specified."; break;
    case 3: text = "The system cannot find the path specified."; break;
    case 5: text = "Access is denied."; break;
    case 6: text = "The handle is invalid."; break;
    case 87: text = "The parameter is incorrect."; break;
    case 234: text = "More data is available."; break;
    case 259: text = "No more data is available."; break;
    case 1010: text = "The configuration registry key is invalid."; break;
    case 1016:
      text =
          "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write "
          "out, or flush, one of the files that contain the system's image of the registry.";
      break;
    case 1018: text = "Illegal operation attempted on a registry key that has been marked for deletion."; break;
    default: return 0;
  }
  std::string full = std::string(text) + "\r\n";
  if (full.size() + 1 > size) return 0;
  std::memcpy(buf, full.c_str(), full.size() + 1);
  return static_cast<unsigned long>(full.size());
}

}  // namespace nfy::platform
