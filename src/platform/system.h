// Process and system facilities: user, environment, executable, clock,
// previous instance, task list, message box, system error texts.
#pragma once

#include <ctime>
#include <string>

namespace nfy::platform {

// Path separator of this platform and a converter for path literals written
// once in the program's own form with "\" ("nfyDesk\DeskCom\nfyDeskMenu.xml").
extern const char kPathSep;
std::string nativePath(std::string path);

// Local broken-down time of a time_t.
std::tm localTime(std::time_t t);

// The current time. Every time the program stamps or compares comes from
// here, so that tests can set the clock (system_testing.h).
std::time_t currentTime();

// Name of the user as whom the process runs into buf (size bytes, NUL
// terminated). False when it does not fit or cannot be had.
bool userName(char* buf, unsigned long size);

// An environment variable; empty when unset.
std::string getEnv(const std::string& name);

// The running executable's folder (no trailing separator) and base name
// without extension.
std::string exeFolder();
std::string exeBaseName();
// File name extension of executables: ".exe" on Windows, "" on Linux.
extern const char* const kExeSuffix;

// Dotted four-part file version of a file ("1.0.0.1"); empty when the file
// has none. On Linux every file built by this project carries the compiled-in
// version, so the running executable reports it.
std::string fileVersion(const std::string& path);

// Claims the running executable's single-instance mark (claimInstance for
// its own path) for the life of the process; true when another instance
// held it already. Only the first call claims; later calls give its answer.
bool claimSingleInstance();

// Marks the executable at exePath as running, for the life of this process
// (Windows: a named mutex of the session's own namespace, which other
// users' sessions do not reach; Linux: a lock file; both named from the
// executable's full path). True when another process had marked it
// already. The Linux lock file lives only in a folder of the user's own that
// nobody else may write: the run-time folder (XDG_RUNTIME_DIR) when it is
// one, else the cache folder in the user's home (made when missing); a lock
// file there that is a link or not the user's own is not taken for another
// instance.
bool claimInstance(const std::string& exePath);

// Under a service manager that joins standard error to its journal (systemd
// names that stream's device and inode in JOURNAL_STREAM), sends the line to
// the journal as one entry at error priority, through the journal's own
// protocol (so that nothing in the text can set another priority or split
// the entry), and returns true, also when the journal could not be reached
// and the line was dropped. Elsewhere (a terminal, a pipe, a platform without
// such a journal) sends nothing and returns false.
bool writeServiceJournal(const std::string& line);

// Writes text to standard error. A stream whose reader has gone raises no
// signal (the text is dropped), and nothing is reported to the caller.
void writeStandardError(const std::string& text);

// Takes the process off the task list (nothing to do where that has no meaning).
void hideFromTaskList();

// A modal message box; returns when the user has closed it. Uses the
// platform's own (nativeMessageBox) unless a test has put a recorder in its
// place (system_testing.h).
void messageBox(const std::string& text, const std::string& title, unsigned style);
void nativeMessageBox(const std::string& text, const std::string& title, unsigned style);

// The system's text for an error code into buf; the number of characters
// written (0 when the code is unknown). Texts end in CR LF like the
// system's own.
unsigned long formatSystemMessage(unsigned long code, char* buf, unsigned long size);

}  // namespace nfy::platform
