#include "app/log.h"

#include <cstdio>

#include "base/errors.h"
#include "base/text.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/system.h"

namespace nfy {
namespace {

// objLogFile: the open log stream, or none.
std::FILE* objLogFile = nullptr;
std::function<void(const std::string&)> logSink;

}  // namespace

void subWriteLog(const std::string& message) {
  // The log never fails its caller: a line that cannot be written is dropped.
  if (logSink) {
    try {
      logSink(message);
    } catch (...) {
    }
    return;
  }
  try {
    // Under systemd an error line also reaches the journal, where the admin
    // sees why a run failed; the user's log file gets every line as before.
    // Error lines begin "ERR : ", and those of a missing endpoint "ERR: ".
    if (message.rfind("ERR : ", 0) == 0 || message.rfind("ERR: ", 0) == 0) platform::writeServiceJournal(message);
  } catch (...) {
  }
  if (!objLogFile) return;
  try {
    std::string line = platform::nowStamp() + "\t" + message + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), objLogFile) == line.size()) std::fflush(objLogFile);
  } catch (...) {
  }
}

void setLogSink(std::function<void(const std::string&)> sink) { logSink = std::move(sink); }

void openLog(const std::string& path) {
  closeLog();
  // Binary appending: the lines carry their own CR LF, and nothing is
  // translated. The stream is the user's own (mode 0600), is never a link
  // or a FIFO planted at its name, and is not inherited by started programs.
  objLogFile = platform::openAppendStream(path);
  if (!objLogFile) raiseError(err::kPathNotFound);
  const std::string stars(85, '*');
  subWriteLog(stars);
  subWriteLog("MSG : Preprocessing : Application started");
  subWriteLog(stars);
}

void openRunLog(const std::string& folder, const std::string& program, const std::string& regId,
                const std::string& user, bool anotherInstance) {
  std::string name = logFileName(program, regId, user, anotherInstance);
  for (int next = 0; next < 10 && platform::fileOwnership(folder + name) == platform::Ownership::Other; ++next) {
    name = logFileName(program, regId, user, true);
    if (next > 0) name.insert(name.size() - user.size() - 5, "-" + std::to_string(next));
  }
  openLog(folder + name);
}

void closeLog() {
  if (objLogFile) std::fclose(objLogFile);
  objLogFile = nullptr;
}

bool logIsOpen() { return objLogFile != nullptr; }

std::string logFileName(const std::string& program, const std::string& regId, const std::string& user,
                        bool anotherInstance) {
  std::tm now = platform::localNow();
  std::string name = program + "_" + regId + "_" + stampFileDate(now);
  if (anotherInstance) name += "_" + stampFileTime(now);
  return name + "_" + user + ".txt";
}

}  // namespace nfy
