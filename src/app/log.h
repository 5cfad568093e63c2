// The run log: one text file per user and day, CR LF lines of
// "MM/DD/YYYY HH:NN:SS" + tab + message.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace nfy {

// Appends one line to the open log; drops it when the log is not open or the
// write fails. Never raises. Messages carry values from the service and from
// files: their control characters other than tab are written escaped ("\r",
// "\n", "\x1b"), so that no value can end the line or begin a new one.
void subWriteLog(const std::string& message);

// subWriteLog, for an error that must be seen even when no log is open: the
// line also goes to standard error unless the service journal took it.
void subWriteLogAndStderr(const std::string& message);

// A value for a log line: the value itself when it is at most
// kLogExcerptBytes long, else its first kLogExcerptBytes (not cutting a
// UTF-8 character) and its length, " ... (N bytes)". A reply or a body of
// any size then costs the log a few kilobytes.
constexpr size_t kLogExcerptBytes = 4096;
std::string logExcerpt(std::string_view value);

// Sends every line (the message alone, without time stamp) to sink instead
// of the log file: a console tool shows the lines to its user. An empty sink
// restores the file.
void setLogSink(std::function<void(const std::string& message)> sink);

// Opens (appends to) or creates the log file and writes the run banner.
// Raises RuntimeError when the file cannot be opened.
void openLog(const std::string& path);
// Opens the run's log in `folder` (ending in the separator) under
// logFileName's name. A name at which something not the user's own stands
// (another user's file, a link) is never written into: the run takes the
// next free name, the timed one a second instance gets, then that with "-1",
// "-2" ... added to the time, and when all of those are taken, a name with
// a random ending that nobody can have prepared, created new. Raises
// RuntimeError when none can be opened.
void openRunLog(const std::string& folder, const std::string& program, const std::string& regId,
                const std::string& user, bool anotherInstance);
// Each line reaches the file as it is written, unless batches are on: then
// lines reach it at an error line, at least every 100 ms while lines are
// written, at flushLog and at the end. A run that passes over thousands of
// messages logs lines by the thousand, and one system call per line would
// cost more than the pass; a kill then loses at most the last 100 ms of
// lines. A program that waits (a post, a popup, a lock) calls flushLog first,
// so that the log shows what it waits on. Never raises.
void setLogBatched(bool on);
void flushLog();
// Releases the log stream (closes the file). Never raises.
void closeLog();
bool logIsOpen();

// The log file name: <program>_<regid>_<mmddyyyy>[_<hhnnss>]_<user>.txt
std::string logFileName(const std::string& program, const std::string& regId, const std::string& user,
                        bool anotherInstance);

}  // namespace nfy
