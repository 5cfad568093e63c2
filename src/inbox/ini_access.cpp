#include "inbox/ini_access.h"

#include <exception>

#include "app/globals.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_document.h"
#include "inbox/ini_file.h"

namespace nfy {
namespace {

// An error description as the error lines carry it: trimmed, without CR LF.
std::string flatDescription(const std::exception& e) { return trim(replaceAll(trap(e).description, "\r\n", "")); }

// The summary's counts: a scope that changes one while another program
// (the viewer) changes it too must not write it back from its old copy.
bool isSummaryCount(const std::string& section, const std::string& key) {
  if (!iequals(ini::oneLine(section), "MsgCount")) return false;
  const std::string k = ini::oneLine(key);
  return iequals(k, "TotalMsgs") || iequals(k, "UNREADMsgs") || iequals(k, "RequireUserConfirmation");
}

}  // namespace

IniWriteScope::IniWriteScope(const std::string& file) : file_(file), scope_(file) {}

IniWriteScope::~IniWriteScope() {
  try {
    for (const ini::Lost& lost : scope_.commit()) {
      if (lost.deletion) {
        subWriteLog("ERR : Failed to delete the section [" + lost.section + "] from file " + file_ + ". ");
      } else {
        subWriteLog("ERR : Failed to write to the INI");
      }
    }
  } catch (...) {
    // The log never fails its caller; the lines above are all it owes.
  }
}

void fncwriteToINI(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
  try {
    // The line shows the value as it goes into the file (line breaks as
    // blanks), so a value cannot forge lines of the log either.
    subWriteLog("MSG : Writing [" + ini::oneLine(section) + "] " + ini::oneLine(key) + "=" + ini::oneLine(value) +
                " to file " + file);
    const ini::Outcome written = isSummaryCount(section, key) ? ini::writeCount(file, section, key, value)
                                                              : ini::writeValue(file, section, key, value);
    if (written != ini::Outcome::Ok) subWriteLog("ERR : Failed to write to the INI");
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncwriteToINI, " + flatDescription(e) + ", while writing to INI " + file);
  }
}

long fncReadFromINI(std::string& value, const std::string& section, const std::string& key, const std::string& file) {
  value = ini::readValue(file, section, key);
  // The profile call fills a buffer of 1000 characters, one of them the
  // terminating NUL.
  if (value.size() > 999) value.resize(999);
  return static_cast<long>(value.size());
}

std::string fncGetSectionNames() {
  std::string list;
  try {
    subWriteLog("MSG : In fncGetSectionNames sInboxINI_Read : " + sInboxINI_Read);
    // Every section, however long the list: a name cut short must never
    // pass for a message id.
    for (const std::string& name : ini::sectionNames(sInboxINI_Read)) {
      if (trim(name).empty() || name == "MsgCount") continue;
      if (!trim(list).empty()) list += ",";
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
    if (!trim(total).empty() && leadingNumber(total) != 0) return;
    IniWriteScope scope(sInboxINI_Write);
    fncwriteToINI("MsgCount", "UNREADMsgs", "0", sInboxINI_Write);
    fncwriteToINI("MsgCount", "RequireUserConfirmation", "0", sInboxINI_Write);
    fncwriteToINI("MsgCount", "MSGId", "0", sInboxINI_Write);
    fncwriteToINI("MsgCount", "Subject", "", sInboxINI_Write);
  } catch (const std::exception& e) {
    TrappedError t = trap(e);
    subWriteLog("ERR : In FncFixMisMatch, " + std::to_string(t.number) + ":" + t.description);
  }
}

}  // namespace nfy
