// Access to INI files (the inbox and the endpoint INI), every call one
// complete operation on the file in its current state.
#pragma once

#include <string>

#include "inbox/ini_file.h"

namespace nfy {

// Groups the writes of one reason (one message stored or removed) into one
// durable replace of the INI file, so that they reach the file all together
// or not at all. Open it around the calls:
//
//   {
//     IniWriteScope scope(sInboxINI_Write);
//     fncwriteToINI(id, "ReadStatus", "Read", sInboxINI_Write);
//     fncDeleteINISection(id, sInboxINI_Write);
//   }  // the file is written here
//
// Inside, fncwriteToINI and fncDeleteINISection keep their log lines and
// their order, and fncReadFromINI and fncGetSectionNames of the same file
// see the changes. The end of the scope writes the file (changes of other
// programs made meanwhile are kept) and logs, for each change that could not
// be written, the line its call logs for a failure. Scopes of one file nest:
// the outermost one writes.
// A scope left by an error (an exception) writes nothing: half of a reason's
// changes never reach the file.
class IniWriteScope {
 public:
  explicit IniWriteScope(const std::string& file);
  ~IniWriteScope();
  IniWriteScope(const IniWriteScope&) = delete;
  IniWriteScope& operator=(const IniWriteScope&) = delete;
  // Writes the file now; true when every change reached it.
  bool commit();
  void guard(ini::CommitGuard g) { scope_.guard(std::move(g)); }

 private:
  std::string file_;
  ini::Scope scope_;
  int uncaught_;
  bool done_ = false;
};

// The summary counts "TotalMsgs", "UNREADMsgs" and "RequireUserConfirmation"
// of the inbox sInboxINI_Write, as its message sections give them: every
// section but "MsgCount", those whose "ReadStatus" is not "READ", those whose
// "RequireUserConfirmation" is above 0. Every change of that file writes
// them so, under the same lock, whatever the procedures computed: counts can
// never drift from the sections, whatever failed or ran at the same time.
void keepInboxCountsTrue(ini::KeyEdit& inbox);
// On from the start; tests of the INI procedures as such switch it off.
void setInboxCountsKept(bool on);

// Writes one key ("ERR : Failed to write to the INI" when it cannot).
void fncwriteToINI(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);
// Reads one key into value (empty when missing); returns its length. Values
// longer than 999 characters come back cut to 999.
long fncReadFromINI(std::string& value, const std::string& section, const std::string& key, const std::string& file);
// The sections of sInboxINI_Read except "MsgCount", joined by ",".
std::string fncGetSectionNames();
// Deletes a whole section.
void fncDeleteINISection(const std::string& section, const std::string& file);
// Resets the summary when the inbox counts no messages.
void FncFixMisMatch();

}  // namespace nfy
