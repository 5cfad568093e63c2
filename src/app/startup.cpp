#include "app/startup.h"

#include <vector>

#include "app/end.h"
#include "app/files.h"
#include "app/globals.h"
#include "app/launch.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "base/text.h"
#include "platform/file_ops.h"
#include "platform/system.h"

namespace nfy {
namespace {

using paths::sep;

std::string withSep(std::string path) {
  if (!endsWith(path, sep())) path += sep();
  return path;
}

// A read of the registry that failed for another reason than a missing key
// or value: an error line with the system's texts, which reaches the
// journal (or standard error) even before the log is open, so that a run
// that ends for want of its values says why.
void logFailedRead(long status) {
  char text[512];
  std::string description(text, platform::formatSystemMessage(static_cast<unsigned long>(status), text, sizeof text));
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
  if (std::string detail = platform::reg::lastStoreErrorText(); !detail.empty()) description += " (" + detail + ")";
  subWriteLogAndStderr("ERR : in fnc ReadReg. Err : " + std::to_string(status) + "::" + description);
}

std::string readAgentValue(const char* name) { return ReadReg(platform::reg::kLocalMachine, kAgentKey, name, 1); }

// Reads one identifier; ends the run when its numeric value is 0.
void readIdentifier(std::string& target, const char* valueName, const char* label, const char* invalidLine,
                    bool check) {
  subWriteLog("MSG : Preprocessing : Reading Regid ");
  target = readAgentValue(valueName);
  subWriteLog(std::string("MSG : Preprocessing : ") + label + " : " + target);
  if (check && leadingNumber(target) == 0) {
    subWriteLog(invalidLine);
    subEndApplication();
  }
}

}  // namespace

std::string findInstallPath() {
  std::string trimmed = trim(readAgentValue("InstallationPath"));
  if (trimmed.empty() || !files::folderExists(trimmed)) return "";
  return withSep(trimmed);
}

void openProgramLog() {
  ensureFolder(sDataPath + paths::appLogFolder());
  ensureFolder(sDataPath + paths::logFolder());
  // The run claims its single-instance mark here: a second instance logs to
  // a file of its own.
  const bool anotherInstance = platform::claimSingleInstance();
  openRunLog(sDataPath + paths::logFolder() + sep(), platform::exeBaseName(), sRegID, sUserName, anotherInstance);
}

bool startCompanion() {
  sInstallPath = findInstallPath();
  if (sInstallPath.empty()) return false;
  sDataPath = dataPathFor(platform::getEnv("ALLUSERSPROFILE"), sInstallPath);
  sRegID = readAgentValue("RegID");
  std::string scratch;
  fncGetUserName("USERNAME", sUserName, scratch);
  ignoreErrors([] { openProgramLog(); });
  return true;
}

void readIdentifiers() {
  ignoreErrors([] { readIdentifier(sRegID, "RegID", "RegId", "MSG : Preprocessing : Invalid RegId", true); });
  ignoreErrors([] { readIdentifier(sSiteID, "siteid", "SiteID", "MSG : Preprocessing : Invalid Siteid", true); });
  ignoreErrors(
      [] { readIdentifier(sMemberID, "MemberID", "MemberID", "MSG : Preprocessing : Invalid MemberID", true); });
  ignoreErrors([] { readIdentifier(sType, "Type", "Type", "", false); });
}

void ensureFolder(const std::string& path) {
  if (files::folderExists(path)) return;
  subWriteLog("MSG : Preprocessing : Creating Folder " + path);
  files::createFolder(path);
}

std::string dataPathFor(std::string allUsers, const std::string& installPath) {
  allUsers = withSep(allUsers);
  if (icontains(allUsers, "ProgramData")) return allUsers + "VELTOR" + sep();
  if (icontains(allUsers, "All Users")) return allUsers + "Application Data" + sep() + "VELTOR" + sep();
  return installPath;
}

void subCreateLog() {
  try {
    platform::hideFromTaskList();
    sInstallPath = findInstallPath();
    if (sInstallPath.empty()) throw RunEnded{};  // silently: no log exists yet
    sDataPath = dataPathFor(platform::getEnv("ALLUSERSPROFILE"), sInstallPath);

    if (!files::folderExists(sInstallPath + paths::appLogFolder())) {
      files::createFolder(sInstallPath + paths::appLogFolder());
    }
    ensureFolder(sInstallPath + paths::logFolder());

    sRegID = readAgentValue("RegID");
    std::string scratch;
    fncGetUserName("USERNAME", sUserName, scratch);
    // The log lives under the data folder: make sure it exists there too, so
    // that a machine whose data folder differs from the installation folder
    // still gets its log. After the identifier and the user name, so that a
    // folder that cannot be made still leaves both set. A run without a log
    // goes on with start-up: its error line reaches only the journal.
    try {
      openProgramLog();
    } catch (const std::exception& e) {
      auto t = trap(e);
      subWriteLog("ERR : Function subCreateLog :: " + std::to_string(t.number) + ":" + t.description);
    }

    ensureFolder(sInstallPath + paths::inboxFolder());
    ensureFolder(sDataPath + paths::inboxFolder());
    ensureFolder(sInstallPath + paths::messagesFolder());
    ensureFolder(sDataPath + paths::messagesFolder());
    sMsgFolder = sDataPath + paths::messagesFolder();
    ensureFolder(sMsgFolder);
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : Function subCreateLog :: " + std::to_string(t.number) + ":" + t.description);
    // Whatever stopped start-up, the identifiers are still checked: no
    // request goes to the service without them.
    readIdentifiers();
    return;
  }

  // From here on every step runs whatever happened to the one before.
  ignoreErrors([] { subWriteLog("MSG : Preprocessing : VELT installation path : " + sInstallPath); });
  ignoreErrors([] { ensureFolder(sInstallPath + paths::postLogsFolder()); });
  readIdentifiers();
  // A failing assignment leaves its global as it was; the line after it is
  // still written.
  ignoreErrors([] {
    sExeVersion = platform::fileVersion(platform::exeFolder() + sep() + platform::exeBaseName() + platform::kExeSuffix);
  });
  ignoreErrors([] { subWriteLog("MSG : Preprocessing : Exe Version :: " + sExeVersion); });
  ignoreErrors([] {
    std::string scratch;
    fncGetUserName("USERNAME", sUserName, scratch);
  });
  ignoreErrors(
      [] { sInboxINI_Write = sDataPath + paths::inboxFolder() + sep() + "nfyDeskInbox_" + sUserName + ".ini"; });
  ignoreErrors([] { subWriteLog("MSG : Preprocessing :sInboxINI_Write :: " + sInboxINI_Write); });
  ignoreErrors([] {
    sInboxINI_Read = ReadLatestINIFile(sDataPath + paths::inboxFolder() + sep(), "nfyDeskInbox_" + sUserName + ".ini");
  });
  ignoreErrors([] { subWriteLog("MSG : Preprocessing :sInboxINI_Read :: " + sInboxINI_Read); });
  ignoreErrors([] {
    std::string control = sInstallPath + paths::browserControl();
    if (files::fileExists(control)) {
      fncRegisterDLL(control);
    } else {
      subWriteLog(control + " is missing");
    }
  });
}

std::string ReadReg(platform::reg::Key hive, const std::string& keyPath, const std::string& valueName, short kind) {
  namespace reg = platform::reg;
  std::string result;
  try {
    reg::Key key = 0;
    // The agent's key lives in the 32-bit registry view.
    if (long rc = reg::openKey(hive, keyPath, reg::kQueryValue | reg::kWow64_32, key); rc != reg::kSuccess) {
      if (rc != reg::kFileNotFound) logFailedRead(rc);
      return "";
    }
    // First ask with a zero-length buffer to learn the size, then read.
    uint32_t type = static_cast<uint32_t>(kind);
    uint32_t size = 0;
    unsigned char probe = 0;
    long rc = reg::queryValue(key, valueName, &type, &probe, &size);
    std::vector<unsigned char> buffer;
    if (rc == reg::kMoreData) {
      buffer.assign(size, 0);
      type = static_cast<uint32_t>(kind);
      rc = reg::queryValue(key, valueName, &type, buffer.data(), &size);
    }
    if (rc == reg::kSuccess && size > 1 && buffer.size() >= size) {
      result.assign(reinterpret_cast<const char*>(buffer.data()), size - 1);
    } else if (rc != reg::kSuccess && rc != reg::kFileNotFound) {
      logFailedRead(rc);
    }
    reg::closeKey(key);
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : in fnc ReadReg. Err : " + std::to_string(t.number) + "::" + t.description);
    return "";
  }
  return result;
}

void fncGetUserName(const std::string& label, std::string& userName, std::string& errorText) {
  try {
    std::string buffer(100, '\0');
    platform::userName(buffer.data(), 100);
    userName = buffer.substr(0, buffer.find('\0'));
  } catch (const std::exception& e) {
    errorText = "Error while expanding the environmental variable " + label + ", " + trap(e).description;
    subWriteLog("ERR : fncGetUserName, " + errorText);
  }
}

std::string ReadLatestINIFile(const std::string& strFolderPath, const std::string& strFilerFile) {
  try {
    subWriteLog("MSG : ReadLatestINIFile :: strFolderPath " + strFolderPath + ": strFilerFile" + strFilerFile);
    if (!files::folderExists(strFolderPath)) return sInstallPath + paths::sharedInbox();
    subWriteLog("MSG : ReadLatestINIFile :: Folder exists");
    std::string taken, takenStamp;
    for (const auto& f : files::listFiles(strFolderPath)) {
      // Only the user's own regular files: a copy another user planted in
      // the shared folder would make this run read (and act on) their keys.
      if (!f.own || !icontains(f.name, strFilerFile) || f.name.size() < 4 ||
          toUpper(f.name.substr(f.name.size() - 4)) != ".INI") {
        continue;
      }
      std::string stamp = stampSortable(f.modified);
      if (taken.empty() || stamp > takenStamp) taken = f.name, takenStamp = stamp;
    }
    // Nor is the per-user name read when another user made that file: the
    // run then reads no inbox at all, as when the folder cannot be listed.
    if (taken.empty() && platform::fileOwnership(strFolderPath + strFilerFile) == platform::Ownership::Other) {
      raiseError(err::kPermissionDenied);
    }
    return strFolderPath + (taken.empty() ? strFilerFile : taken);
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : ReadLatestINIFile ::  " + std::to_string(t.number) + ":" + t.description);
    return "";
  }
}

}  // namespace nfy
