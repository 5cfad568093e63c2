#include "app/launch.h"

#include <algorithm>

#include "app/end.h"
#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "platform/process.h"
#include "platform/system.h"

namespace nfy {

void fncExecuteShell(const std::string& command, bool hidden) {
  try {
    subWriteLog("MSG : fncExecuteShell :: " + command);
    unsigned long pid =
        platform::startProcess(command, hidden ? platform::WindowStyle::Hidden : platform::WindowStyle::Normal);
    if (pid != 0) {
      subWriteLog("MSG : Successfully executed the " + command);
    } else {
      subWriteLog("ERR : Failed to Execute  " + command);
    }
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : fncExecuteShell, " + std::to_string(t.number) + ":" + t.description);
  }
}

void fncExecuteMsgInbox() {
  try {
    subWriteLog("MSG : In fncExecuteMsgInbox");
    std::string viewer = sInstallPath + paths::inboxViewer();
    if (files::fileExists(viewer)) {
      fncExecuteShell(viewer, true);
      subEndApplication();
    }
    subWriteLog("ERR : " + viewer + " is missing.");
    platform::messageBox("CC Components for Inbox is missing. Please contact Helpvance.", sAppTitle, 16);
    subEndApplication();
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : fncExecuteMsgInbox. ErrDesc : " + std::to_string(t.number) + " " + t.description);
  }
}

void fncRegisterDLL(const std::string& filePath) {
  try {
    subWriteLog("MSG : In fncRegisterDLL, " + filePath);
    // Where COM registration does not exist (Linux) the components are part
    // of the program itself: nothing needs registering, so nothing is started.
    if (platform::hasComRegistration()) {
      platform::startProcess("regsvr32 -s " + filePath, platform::WindowStyle::Hidden);
    }
    subWriteLog("Registered Dll : " + filePath);
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : fncRegisterDLL ::  " + std::to_string(t.number) + ":" + t.description);
  }
}

}  // namespace nfy
