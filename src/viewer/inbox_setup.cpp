#include "viewer/inbox_setup.h"

#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/text.h"
#include "bridges/desk_template.h"
#include "platform/system.h"

namespace nfy::viewer {
namespace {

using paths::sep;

std::string agentValue(const char* name) { return ReadReg(platform::reg::kLocalMachine, kAgentKey, name, 1); }

}  // namespace

Setup findInbox() {
  // The inbox is shown without a log too.
  if (!startCompanion()) return Setup::NotInstalled;
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
