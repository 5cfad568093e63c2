#include "viewer/inbox_setup.h"

#include "app/errors.h"
#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "app/text.h"
#include "bridges/desk_template.h"
#include "inbox/notification.h"
#include "platform/system.h"

namespace nfy::viewer {
namespace {

using paths::sep;

std::string agentValue(const char* name) { return ReadReg(platform::reg::kLocalMachine, kAgentKey, name, 1); }

void ensureFolder(const std::string& path) {
  if (!files::folderExists(path)) files::createFolder(path);
}

}  // namespace

Setup findInbox() {
  std::string install = trim(agentValue("InstallationPath"));
  if (install.empty() || !files::folderExists(install)) return Setup::NotInstalled;
  if (!endsWith(install, sep())) install += sep();
  sInstallPath = install;
  sDataPath = dataPathFor(platform::getEnv("ALLUSERSPROFILE"), sInstallPath);
  sRegID = agentValue("RegID");
  std::string scratch;
  fncGetUserName("USERNAME", sUserName, scratch);

  // The log is a help, not a condition: the inbox is shown without one.
  ignoreErrors([] {
    ensureFolder(sDataPath + paths::appLogFolder());
    ensureFolder(sDataPath + paths::logFolder());
    openRunLog(sDataPath + paths::logFolder() + sep(), platform::exeBaseName(), sRegID, sUserName,
               platform::previousInstance());
  });
  subWriteLog("MSG : nfyInbox : Installation path : " + sInstallPath);
  sSiteID = agentValue("siteid");
  sMemberID = agentValue("MemberID");
  sType = agentValue("Type");
  subWriteLog("MSG : nfyInbox : RegId : " + sRegID + ", SiteID : " + sSiteID + ", MemberID : " + sMemberID +
              ", Type : " + sType + ", User : " + sUserName);

  sMsgFolder = sDataPath + paths::messagesFolder();
  sInboxINI_Write = sDataPath + paths::inboxFolder() + sep() + "nfyDeskInbox_" + sUserName + ".ini";
  sInboxINI_Read = ReadLatestINIFile(sDataPath + paths::inboxFolder() + sep(), "nfyDeskInbox_" + sUserName + ".ini");
  subWriteLog("MSG : nfyInbox : Inbox : " + sInboxINI_Read);

  std::string templatePath = sInstallPath + paths::templateFile();
  if (files::fileExists(templatePath)) fncParseDeskTemplateXML(templatePath);
  return Setup::Ready;
}

std::string windowTitle() {
  std::string title = trim(sInboxTitle);
  // The notification text keeps a title that is not the default one as it is.
  if (title.empty() || notificationText(sInboxTitle, "") != title) return "Messages";
  return title;
}

}  // namespace nfy::viewer
