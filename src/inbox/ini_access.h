// The program's one way to its INI files (the inbox and the endpoint INI):
// every call is one complete operation on the file in its current state, or
// part of an IniWriteScope that writes a group of changes as one.
//
// The entry points differ in three rules, each stated at its declaration:
//
// - how much of a value a read gives: the procedures (fncReadFromINI and
//   readIni) cut a value at 999 characters, as the profile call they stand
//   for does; iniValue gives the whole value;
// - what a failure does: the procedures log their own lines and go on;
//   the other calls raise the error (or return an IniOutcome) and log
//   nothing;
// - which file: readIni, writeSummary, fncGetSectionNames and
//   FncFixMisMatch work on the inbox globals (sInboxINI_Read for reads,
//   sInboxINI_Write for writes); the others take the file by name.
//
// The engine behind it (the file format, the lock, the durable replace, the
// cache) is in ini_file.h and ini_document.h, for this file only.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inbox/ini_file.h"

namespace nfy {

// The engine's types the program sees: what a change of several keys reads
// and sets (IniEdit), the file as another program changed it meanwhile
// (IniDocument, asked only through holdsSection), the outcome of a change.
using IniOutcome = ini::Outcome;
using IniEdit = ini::KeyEdit;
using IniDocument = ini::Document;
// What a write scope's commit does besides the replace (see
// ini::CommitGuard): `before` may still change the file about to be written
// or abandon the commit, `failed` hears that the replace failed.
using IniCommitGuard = ini::CommitGuard;
// While one lives, reads of its file outside a scope take the file as it was
// at the first read (see ini::ReadSnapshot): a pass over thousands of keys
// looks at the disk once.
using IniReadSnapshot = ini::ReadSnapshot;

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
// their order, and every read of the same file sees the changes. The end of
// the scope writes the file (changes of other programs made meanwhile are
// kept) and logs, for each change that could not be written, the line its
// call logs for a failure. Scopes of one file nest: the outermost one
// writes. A scope left by an error (an exception) writes nothing: half of a
// reason's changes never reach the file.
class IniWriteScope {
 public:
  explicit IniWriteScope(const std::string& file);
  ~IniWriteScope();
  IniWriteScope(const IniWriteScope&) = delete;
  IniWriteScope& operator=(const IniWriteScope&) = delete;
  // Writes the file now; true when every change reached it.
  bool commit();
  // Adds a guard to the commit of the outermost scope of the file.
  void guard(IniCommitGuard g) { scope_.guard(std::move(g)); }

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
void keepInboxCountsTrue(IniEdit& inbox);
// On from the start; tests of the INI procedures as such switch it off.
void setInboxCountsKept(bool on);

// --- The procedures: they log, and a failure never reaches the caller ---

// Writes one key, logging it ("ERR : Failed to write to the INI" when it
// cannot).
void fncwriteToINI(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);
// Reads one key into value (empty when missing); returns its length. Values
// longer than 999 characters come back cut to 999. A file that exists but
// cannot be read raises the system's error.
long fncReadFromINI(std::string& value, const std::string& section, const std::string& key, const std::string& file);
// The sections of sInboxINI_Read except "MsgCount", joined by ","; logged,
// and "" when the file cannot be read.
std::string fncGetSectionNames();
// Deletes a whole section, logging it.
void fncDeleteINISection(const std::string& section, const std::string& file);
// Resets the summary when the inbox counts no messages.
void FncFixMisMatch();

// One key of sInboxINI_Read, read as fncReadFromINI reads it (cut at 999
// characters, raising as it does).
std::string readIni(const std::string& section, const std::string& key);
// Several keys of one section of sInboxINI_Read, each as readIni gives it, in
// the order asked, with one look at the file for all of them.
std::vector<std::string> readIniKeys(const std::string& section, std::initializer_list<std::string_view> keys);
// One key of the summary section "MsgCount" of sInboxINI_Write, written as
// fncwriteToINI writes it (with its log lines).
void writeSummary(const std::string& key, const std::string& value);

// The URL of a web-service request: the "URL" of `section` in the endpoint
// INI, with serviceUrl's "tfr_<request>.asp?..." added. A blank URL logs
// "ERR: Unable to find url in <section>" and comes back as read.
std::string endpointUrl(const std::string& section, const std::string& request);

// --- Whole reads: nothing is logged, nothing cut ---
// A file name that is empty, bare or relative names no file. A file that
// exists but cannot be read raises the system's error (its number and text,
// and the file's name): what could not be read is never taken for empty.

// The whole value of a key; "" when the file, section or key is missing or
// the file's name is not a full path.
std::string iniValue(const std::string& file, std::string_view section, std::string_view key);
// Several keys of one section, each as iniValue gives it, in the order asked,
// with one look at the file and one look-up of the section for them all.
std::vector<std::string> iniValues(const std::string& file, std::string_view section,
                                   std::initializer_list<std::string_view> keys);
// Every named section in file order; none for a missing file. A name that is
// not a full path raises RuntimeError 76.
std::vector<std::string> iniSectionNames(const std::string& file);
// The sections that reads find (the first of each name, case aside), in
// file order, each with the whole value of `key` ("" when it has none): one
// walk over a large file instead of a read per section. Raises as
// iniSectionNames does.
std::vector<std::pair<std::string, std::string>> iniSectionValues(const std::string& file, std::string_view key);
// The digest of the file's content as reads see it (contentDigest): none
// for a missing file, or while a write scope of it has edits not written
// yet. Raises as iniSectionNames does.
std::optional<std::uint64_t> iniContentDigest(const std::string& file);
// Whether the inbox's counts are known to be true to its sections as this
// run last read or wrote it (it wrote them, or checked them and found them
// true); and, for a digest that such a text had in an earlier run, that a
// text of that digest need not be checked again.
bool inboxCountsKnownTrue();
void trustInboxCountsOf(std::uint64_t digest);
// Whether the inbox had that trusted digest when this run first changed it
// (or found nothing to change), and no other program changed it since.
bool inboxUnchangedByOthersSince(std::uint64_t digest);
// The name of the file's section that `section` finds (case aside), as the
// file spells it; "" when there is none. Raises as iniSectionNames does.
std::string iniStoredSectionName(const std::string& file, std::string_view section);
// Whether the file as a commit guard sees it holds `section` (case aside).
bool holdsSection(const IniDocument& file, std::string_view section);

// --- Changes outside the procedures: nothing is logged ---

// Several keys read and set as one change under the file's lock: `edit`
// reads the file as it is then, and what it sets is written together. Not
// for use inside an IniWriteScope of the same file.
IniOutcome iniUpdate(const std::string& file, const std::function<void(IniEdit&)>& edit);
// Runs `step` while holding the file's lock, the one every change of the
// file takes: Busy when it was not free within the wait, Failed when the
// lock file cannot be opened (`step` did not run).
IniOutcome whileIniLocked(const std::string& file, const std::function<void()>& step);
// Writes a record kept beside the inbox (`write` replaces the file at
// `path`, true when it did) under the inbox's lock, as its replace
// leftovers are cleaned up under it. A record that cannot be written is
// logged ("ERR : <path> could not be written, n:text", or "ERR : <path> was
// not written: the inbox's lock was not free") and only costs the next run
// the work the record would have spared it.
void writeBesideInbox(const std::string& path, const std::function<bool()>& write);

// --- Names and values as the file holds them ---

// Whether two section or key names are one name to the file (ASCII case
// aside).
bool sameIniName(std::string_view a, std::string_view b);
// A value as a read gives it back after it was written: on one line, the
// blanks around it gone, a pair of equal quotes around it removed.
std::string iniReadBack(std::string_view value);
// Whether `stored`, as a read gave it, is `value` as a read gives it back
// (iniReadBack(value) == stored), without a copy of a value on one line.
bool iniReadsBackAs(std::string_view stored, std::string_view value);

}  // namespace nfy
