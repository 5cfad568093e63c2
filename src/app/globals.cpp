#include "app/globals.h"

namespace nfy {

std::string sInstallPath, sDataPath, sRegID, sSiteID, sMemberID, sType, sUserName, sExeVersion, sMsgFolder,
    sInboxINI_Write, sInboxINI_Read, sAppTitle, sPopupMessage, sInboxTitle;

void resetRunGlobals() {
  for (std::string* s : {&sInstallPath, &sDataPath, &sRegID, &sSiteID, &sMemberID, &sType, &sUserName, &sExeVersion,
                         &sMsgFolder, &sInboxINI_Write, &sInboxINI_Read, &sAppTitle, &sPopupMessage, &sInboxTitle}) {
    s->clear();
  }
}

}  // namespace nfy
