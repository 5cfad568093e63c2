#include "inbox/ini_access.h"

#include <exception>
#include <unordered_set>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/web_request.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_document.h"
#include "inbox/ini_file.h"
#include "inbox/leftovers.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"

namespace nfy {
namespace {

// An error description as the error lines carry it: trimmed, without CR LF.
std::string flatDescription(const std::exception& e) { return trim(replaceAll(trap(e).description, "\r\n", "")); }

bool countsKept = true;

// Installed once for the process: the inbox's counts follow its sections
// (their read marks and confirmation flags; the counts themselves are kept).
const bool countsRuleInstalled = [] {
  ini::setCommitRule(
      [](const std::string& file, ini::KeyEdit& edit) {
        if (countsKept && !sInboxINI_Write.empty() && file == sInboxINI_Write) keepInboxCountsTrue(edit);
      },
      [](std::string_view key) {
        return iequals(key, "ReadStatus") || iequals(key, "RequireUserConfirmation") || iequals(key, "TotalMsgs") ||
               iequals(key, "UNREADMsgs");
      });
  // The inbox folder is shared by the users of the machine: only the
  // user's own files there are read, checked on the file that was opened.
  ini::setOwnFilesOnly([](const std::string& file) {
    const size_t cut = sInboxINI_Write.find_last_of(paths::sep());
    return cut != std::string::npos && file.size() > cut + 1 &&
           file.compare(0, cut + 1, sInboxINI_Write, 0, cut + 1) == 0;
  });
  return true;
}();

// A value as the profile call gives it: it fills a buffer of 1000
// characters, one of them the terminating NUL.
void cutAsProfileCall(std::string& value) {
  if (value.size() > 999) value.resize(999);
}

bool plainAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

struct Counts {
  double total = 0, unread = 0, awaiting = 0;
  void add(std::string_view readStatus, std::string_view requireConfirmation) {
    ++total;
    if (!iequals(trimView(readStatus), "READ")) ++unread;
    if (leadingNumber(requireConfirmation) > 0) ++awaiting;
  }
};

// Written only where they differ: an inbox whose counts are true is left as
// it is.
void keepCounts(IniEdit& inbox, const Counts& counts) {
  auto keep = [&](const char* key, double n) {
    const std::string text = numberText(n);
    if (inbox.value("MsgCount", key) != text) inbox.set("MsgCount", key, text);
  };
  keep("TotalMsgs", counts.total);
  keep("UNREADMsgs", counts.unread);
  keep("RequireUserConfirmation", counts.awaiting);
}

// The counts through the program's text, for a UTF-8 inbox whose names are
// not all plain ASCII: names that differ in the file can be one name in the
// program's code page, and then they are one message.
Counts countsThroughProgramText(const IniEdit& inbox) {
  Counts counts;
  std::unordered_set<std::string> seen;
  for (const std::string& name : inbox.sectionNames()) {
    if (trim(name).empty() || iequals(name, "MsgCount")) continue;
    if (!seen.insert(toLower(name)).second) continue;
    counts.add(inbox.value(name, "ReadStatus"), inbox.value(name, "RequireUserConfirmation"));
  }
  return counts;
}

// The counts from those the inbox held when they were true, and the
// sections added since; false when they cannot be taken so (a UTF-8 file,
// a count that is not one this program wrote, the summary itself added).
bool countsOfAdded(const ini::Document& doc, const std::vector<std::string>& added, Counts& counts) {
  if (doc.encoding() != ini::Document::Encoding::Ansi) return false;
  static constexpr std::string_view kCounts[] = {"TotalMsgs", "UNREADMsgs", "RequireUserConfirmation"};
  std::optional<std::string_view> held[std::size(kCounts)];
  const std::optional<ini::Section> summary = doc.find("MsgCount");
  if (!summary) return false;
  summary->values(kCounts, held);
  double* const into[] = {&counts.total, &counts.unread, &counts.awaiting};
  for (std::size_t i = 0; i < std::size(kCounts); ++i) {
    if (!held[i] || numberText(leadingNumber(*held[i])) != *held[i]) return false;
    *into[i] = leadingNumber(*held[i]);
  }
  for (const std::string& name : added) {
    if (iequals(name, "MsgCount")) return false;
    const std::optional<ini::Section> s = doc.find(name);
    if (!s) return false;
    static constexpr std::string_view kKeys[] = {"ReadStatus", "RequireUserConfirmation"};
    std::optional<std::string_view> found[std::size(kKeys)];
    s->values(kKeys, found);
    counts.add(found[0].value_or(std::string_view()), found[1].value_or(std::string_view()));
  }
  return true;
}

}  // namespace

void keepInboxCountsTrue(IniEdit& inbox) {
  (void)countsRuleInstalled;
  // Names match without regard to case: a second section of one name is
  // never looked at, so it is no message of its own. The sections and
  // values are read as the file holds them, without copies: text of plain
  // ASCII is the same in the program's code page, so the tests below give
  // the same answer on the file's bytes; a value that is not plain ASCII in
  // a UTF-8 file is converted first, as a read converts it (a code page's
  // best fit can turn such a character into an ASCII letter or digit).
  const ini::Document& doc = inbox.document();
  const bool utf8 = doc.encoding() == ini::Document::Encoding::Utf8;
  Counts counts;
  // Counts that were true before sections were added are carried on: a run
  // that stores a few messages into a large inbox does not count them all.
  if (const std::vector<std::string>* added = inbox.addedSinceRuleHeld(); added && countsOfAdded(doc, *added, counts)) {
    keepCounts(inbox, counts);
    return;
  }
  counts = {};
  bool asciiNames = true;
  doc.forEachFirstOfName([&](const ini::Section& s) {
    if (utf8 && !plainAscii(s.name())) asciiNames = false;
    if (!asciiNames || iequals(s.name(), "MsgCount")) return;
    static constexpr std::string_view kKeys[] = {"ReadStatus", "RequireUserConfirmation"};
    std::optional<std::string_view> found[std::size(kKeys)];
    s.values(kKeys, found);
    auto read = [&](std::size_t i, std::string& converted) {
      std::string_view v = found[i].value_or(std::string_view());
      if (!utf8 || plainAscii(v)) return v;
      converted = platform::utf8ToAnsi(v);
      return std::string_view(converted);
    };
    std::string status, confirmation;
    counts.add(read(0, status), read(1, confirmation));
  });
  if (!asciiNames) counts = countsThroughProgramText(inbox);
  keepCounts(inbox, counts);
}

void setInboxCountsKept(bool on) {
  countsKept = on;
  ini::ruleChanged();
}

IniWriteScope::IniWriteScope(const std::string& file)
    : file_(file), scope_(file), uncaught_(std::uncaught_exceptions()) {}

bool IniWriteScope::commit() {
  if (done_) return true;
  done_ = true;
  bool all = true;
  try {
    for (const ini::Lost& lost : scope_.commit()) {
      all = false;
      if (lost.deletion) {
        subWriteLog("ERR : Failed to delete the section [" + lost.section + "] from file " + file_ + ". ");
      } else {
        subWriteLog("ERR : Failed to write to the INI");
      }
    }
  } catch (...) {
    // The log never fails its caller; the lines above are all it owes.
  }
  return all;
}

IniWriteScope::~IniWriteScope() {
  if (std::uncaught_exceptions() > uncaught_) {
    scope_.abandon();
    return;
  }
  commit();
}

void fncwriteToINI(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
  try {
    // The line shows the value as it goes into the file (line breaks as
    // blanks), so a value cannot forge lines of the log either.
    std::string line;
    line.reserve(40 + section.size() + key.size() + value.size() + file.size());
    line.append("MSG : Writing [");
    ini::appendOneLine(line, section);
    line.append("] ");
    ini::appendOneLine(line, key);
    line.append("=");
    ini::appendOneLine(line, value);
    line.append(" to file ").append(file);
    subWriteLog(line);
    if (ini::writeValue(file, section, key, value) != ini::Outcome::Ok) subWriteLog("ERR : Failed to write to the INI");
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncwriteToINI, " + flatDescription(e) + ", while writing to INI " + file);
  }
}

long fncReadFromINI(std::string& value, const std::string& section, const std::string& key, const std::string& file) {
  value = ini::readValue(file, section, key);
  cutAsProfileCall(value);
  return static_cast<long>(value.size());
}

std::string fncGetSectionNames() {
  std::string list;
  try {
    subWriteLog("MSG : In fncGetSectionNames sInboxINI_Read : " + sInboxINI_Read);
    // Every section, however long the list: a name cut short must never
    // pass for a message id.
    // Names are trimmed and never empty: the list is blank until the first.
    for (const std::string& name : ini::sectionNames(sInboxINI_Read)) {
      if (trim(name).empty() || name == "MsgCount") continue;
      if (!list.empty()) list += ",";
      list += name;
    }
    subWriteLog("MSG : Total section :: " + list);
    return list;
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncGetSectionNames, " + trap(e).description);
    return "";
  }
}

void fncDeleteINISection(const std::string& section, const std::string& file) {
  try {
    subWriteLog("MSG : Deleting [" + section + "] from file " + file);
    if (ini::deleteSection(file, section) != ini::Outcome::Ok) {
      subWriteLog("ERR : Failed to delete the section [" + section + "] from file " + file + ". ");
    }
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncDeleteINISection, " + flatDescription(e) + ", while writing to INI " + file);
  }
}

void FncFixMisMatch() {
  try {
    std::string total;
    fncReadFromINI(total, "MsgCount", "TotalMsgs", sInboxINI_Read);
    if (trim(total).empty() || leadingNumber(total) == 0) {
      IniWriteScope scope(sInboxINI_Write);
      fncwriteToINI("MsgCount", "UNREADMsgs", "0", sInboxINI_Write);
      fncwriteToINI("MsgCount", "RequireUserConfirmation", "0", sInboxINI_Write);
      fncwriteToINI("MsgCount", "MSGId", "0", sInboxINI_Write);
      fncwriteToINI("MsgCount", "Subject", "", sInboxINI_Write);
    }
    // Once a run, under the inbox's lock: what killed runs left behind goes,
    // and counts that an older version or another program left wrong are
    // made true to the sections (an inbox whose counts are true is not
    // written).
    if (ini::update(sInboxINI_Write, [](ini::KeyEdit&) { removeReplaceLeftovers(); }) == ini::Outcome::Failed) {
      const platform::FileError e = platform::lastFileError();
      subWriteLog("ERR : In FncFixMisMatch, " + std::to_string(e.number) + ":" + e.text + ", " + sInboxINI_Write);
    }
  } catch (const std::exception& e) {
    TrappedError t = trap(e);
    subWriteLog("ERR : In FncFixMisMatch, " + std::to_string(t.number) + ":" + t.description);
  }
}

std::string readIni(const std::string& section, const std::string& key) {
  std::string value;
  fncReadFromINI(value, section, key, sInboxINI_Read);
  return value;
}

std::vector<std::string> readIniKeys(const std::string& section, std::initializer_list<std::string_view> keys) {
  std::vector<std::string> values = ini::readValues(sInboxINI_Read, section, keys);
  for (std::string& value : values) cutAsProfileCall(value);
  return values;
}

void writeSummary(const std::string& key, const std::string& value) {
  fncwriteToINI("MsgCount", key, value, sInboxINI_Write);
}

std::string endpointUrl(const std::string& section, const std::string& request) {
  std::string base;
  fncReadFromINI(base, section, "URL", sInstallPath + paths::endpointIni());
  if (trim(base).empty()) {
    subWriteLog("ERR: Unable to find url in " + section);
    return base;
  }
  return serviceUrl(base, request);
}

std::string iniValue(const std::string& file, std::string_view section, std::string_view key) {
  return ini::readValue(file, section, key);
}

std::vector<std::string> iniValues(const std::string& file, std::string_view section,
                                   std::initializer_list<std::string_view> keys) {
  return ini::readValues(file, section, keys);
}

std::vector<std::string> iniSectionNames(const std::string& file) { return ini::sectionNames(file); }

std::vector<std::pair<std::string, std::string>> iniSectionValues(const std::string& file, std::string_view key) {
  return ini::sectionValues(file, key);
}

std::optional<std::uint64_t> iniContentDigest(const std::string& file) { return ini::contentDigest(file); }

bool inboxCountsKnownTrue() { return countsKept && ini::ruleHolds(sInboxINI_Write); }

void trustInboxCountsOf(std::uint64_t digest) { ini::trustRuleFor(sInboxINI_Write, digest); }

bool inboxUnchangedByOthersSince(std::uint64_t digest) {
  return sInboxINI_Read == sInboxINI_Write && ini::unchangedByOthersSince(sInboxINI_Write, digest);
}

std::string iniStoredSectionName(const std::string& file, std::string_view section) {
  return ini::storedSectionName(file, section);
}

bool holdsSection(const IniDocument& file, std::string_view section) { return file.storedName(section).has_value(); }

IniOutcome iniUpdate(const std::string& file, const std::function<void(IniEdit&)>& edit) {
  return ini::update(file, edit);
}

void writeBesideInbox(const std::string& path, const std::function<bool()>& write) {
  bool written = false;
  const IniOutcome locked = whileIniLocked(sInboxINI_Write, [&] { written = write(); });
  if (written) return;
  if (locked != IniOutcome::Ok) {
    subWriteLog("ERR : " + path + " was not written: the inbox's lock was not free");
    return;
  }
  const platform::FileError e = platform::lastFileError();
  subWriteLog("ERR : " + path + " could not be written, " + std::to_string(e.number) + ":" + e.text);
}

IniOutcome whileIniLocked(const std::string& file, const std::function<void()>& step) {
  return ini::whileLocked(file, step);
}

bool sameIniName(std::string_view a, std::string_view b) { return ini::sameName(a, b); }

std::string iniReadBack(std::string_view value) {
  const std::string line = ini::oneLine(value);
  return std::string(ini::unquoted(ini::trimBlanks(line)));
}

bool iniReadsBackAs(std::string_view stored, std::string_view value) {
  // A value without a line break is on one line already: it is looked at
  // where it is.
  if (!ini::hasLineBreak(value)) return stored == ini::unquoted(ini::trimBlanks(value));
  return stored == iniReadBack(value);
}

}  // namespace nfy
