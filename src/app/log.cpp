#include "app/log.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/errors.h"
#include "base/text.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/new_file.h"
#include "platform/system.h"

namespace nfy {
namespace {

// objLogFile: the open log stream, or none.
std::FILE* objLogFile = nullptr;
std::function<void(const std::string&)> logSink;

// In batches (setLogBatched), lines are handed to the file at an error
// line, after this long, before a wait (flushLog) and at the end.
constexpr auto kFlushAfter = std::chrono::milliseconds(100);
constexpr size_t kLogBuffer = 1 << 16;
std::chrono::steady_clock::time_point lastFlush;
bool batched = false;

bool isControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

// Whether one of eight bytes may be a control character: true for every
// word that holds a byte below 0x20 (a tab too) or 0x7F, and only then.
bool mayHoldControl(std::uint64_t eight) {
  constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
  const std::uint64_t below20 = (eight - ones * 0x20) & ~eight & highs;
  const std::uint64_t del = eight ^ (ones * 0x7F);
  return ((below20 | ((del - ones) & ~del & highs))) != 0;
}

// Looked at eight bytes at a time: a run logs thousands of lines, nearly
// all of them plain.
bool hasControl(std::string_view message) {
  size_t i = 0;
  for (; i + 8 <= message.size(); i += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, message.data() + i, 8);
    if (!mayHoldControl(eight)) continue;
    for (size_t k = i; k < i + 8; ++k)
      if (isControl(static_cast<unsigned char>(message[k]))) return true;
  }
  for (; i < message.size(); ++i)
    if (isControl(static_cast<unsigned char>(message[i]))) return true;
  return false;
}

// The message as a log line shows it: control characters other than tab
// escaped, everything else unchanged.
std::string shownText(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 8);
  static const char hex[] = "0123456789abcdef";
  for (const char ch : message) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!isControl(c)) {
      out += ch;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// Writes one line; true when the service journal took it.
bool writeLine(const std::string& message) {
  // Most lines hold no control character: they are written as they are,
  // without a copy.
  std::string escaped;
  const bool plain = !hasControl(message);
  if (!plain) escaped = shownText(message);
  const std::string& shown = plain ? message : escaped;
  if (logSink) {
    try {
      logSink(shown);
    } catch (...) {
    }
    return false;
  }
  bool journaled = false;
  // Error lines begin "ERR : ", and those of a missing endpoint "ERR: ".
  const bool isError = shown.rfind("ERR : ", 0) == 0 || shown.rfind("ERR: ", 0) == 0;
  try {
    // Under systemd an error line also reaches the journal, where the admin
    // sees why a run failed; the user's log file gets every line as before.
    if (isError) journaled = platform::writeServiceJournal(shown);
  } catch (...) {
  }
  if (!objLogFile) return journaled;
  try {
    // One buffer for every line of the run (the programs log from one
    // thread): a pass over thousands of messages logs thousands of lines.
    static std::string line;
    line.assign(platform::nowStamp()).append("\t").append(shown).append("\r\n");
    if (std::fwrite(line.data(), 1, line.size(), objLogFile) == line.size()) {
      const auto now = std::chrono::steady_clock::now();
      if (!batched || isError || now - lastFlush >= kFlushAfter) {
        std::fflush(objLogFile);
        lastFlush = now;
      }
    }
  } catch (...) {
  }
  return journaled;
}

void adoptLog(std::FILE* stream) {
  objLogFile = stream;
  std::setvbuf(stream, nullptr, _IOFBF, kLogBuffer);
  lastFlush = std::chrono::steady_clock::now();
  const std::string stars(85, '*');
  subWriteLog(stars);
  subWriteLog("MSG : Preprocessing : Application started");
  subWriteLog(stars);
}

// Ten letters and digits that nobody can guess beforehand.
std::string randomEnding() {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device source;
  std::string out;
  for (int i = 0; i < 10; ++i) out += digits[source() % 36];
  return out;
}

}  // namespace

void subWriteLog(const std::string& message) {
  // The log never fails its caller: a line that cannot be written is dropped.
  (void)writeLine(message);
}

void subWriteLogAndStderr(const std::string& message) {
  if (writeLine(message) || logSink) return;
  try {
    platform::writeStandardError(shownText(message) + "\n");
  } catch (...) {
  }
}

std::string logExcerpt(std::string_view value) {
  if (value.size() <= kLogExcerptBytes) return std::string(value);
  size_t cut = kLogExcerptBytes;
  // Back to the start of a UTF-8 character (at most three bytes back).
  while (cut > kLogExcerptBytes - 3 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
  return std::string(value.substr(0, cut)) + " ... (" + std::to_string(value.size()) + " bytes)";
}

void setLogSink(std::function<void(const std::string&)> sink) { logSink = std::move(sink); }

void openLog(const std::string& path) {
  closeLog();
  // Binary appending: the lines carry their own CR LF, and nothing is
  // translated. The stream is the user's own (mode 0600), is never a link
  // or a FIFO planted at its name, and is not inherited by started programs.
  std::FILE* stream = platform::openAppendStream(path);
  if (!stream) raiseError(err::kPathNotFound);
  adoptLog(stream);
}

void openRunLog(const std::string& folder, const std::string& program, const std::string& regId,
                const std::string& user, bool anotherInstance) {
  // The timed name with an ending added to its time.
  auto timedWith = [&](const std::string& ending) {
    std::string timed = logFileName(program, regId, user, true);
    return timed.insert(timed.size() - user.size() - 5, ending);
  };
  std::string name = logFileName(program, regId, user, anotherInstance);
  for (int next = 0; next < 10 && platform::fileOwnership(folder + name) == platform::Ownership::Other; ++next) {
    name = timedWith(next > 0 ? "-" + std::to_string(next) : "");
  }
  closeLog();
  if (platform::fileOwnership(folder + name) != platform::Ownership::Other) {
    if (std::FILE* stream = platform::openAppendStream(folder + name)) return adoptLog(stream);
  }
  // Every name that can be known beforehand is taken (another user may have
  // planted them all): one with a random ending, created new.
  for (int attempt = 0; attempt < 5; ++attempt) {
    name = timedWith("-" + randomEnding());
    if (std::FILE* stream = platform::createNewFile(folder + name, platform::NewFile::Private)) return adoptLog(stream);
  }
  raiseError(err::kPathNotFound);
}

void setLogBatched(bool on) {
  batched = on;
  flushLog();
}

void flushLog() {
  if (objLogFile) std::fflush(objLogFile);
  lastFlush = std::chrono::steady_clock::now();
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
