// Run-control globals: filled once by start-up, Main and the template reader,
// read by everybody afterwards.
#pragma once

#include <string>

namespace nfy {

extern std::string sInstallPath;  // ends in the path separator
extern std::string sDataPath;     // ends in the path separator
extern std::string sRegID;
extern std::string sSiteID;
extern std::string sMemberID;
extern std::string sType;
extern std::string sUserName;
extern std::string sExeVersion;
extern std::string sMsgFolder;  // no trailing separator
extern std::string sInboxINI_Write;
extern std::string sInboxINI_Read;
extern std::string sAppTitle;
extern std::string sPopupMessage;
extern std::string sInboxTitle;

// Clears every run-control global (tests start each case from scratch).
void resetRunGlobals();

}  // namespace nfy
