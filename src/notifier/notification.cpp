#include "notifier/notification.h"

#include <cstdint>

#include "app/end.h"
#include "app/globals.h"
#include "app/launch.h"
#include "app/log.h"
#include "base/text.h"
#include "bridges/desk_template.h"
#include "bridges/popup.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "lifecycle/user_status.h"

namespace nfy {

void notifyUser() {
  sUnreadMsgs = notificationText(sInboxTitle, sUnreadMsgs);
  if (trim(sUnreadMsgs).empty()) subEndApplication();

  fncReadFromINI(sReqConfirmMsgs, "MsgCount", "RequireUserConfirmation", sInboxINI_Read);
  fncReadFromINI(sConfirmMsgID, "MsgCount", "MSGId", sInboxINI_Read);
  // A message awaiting confirmation stays until the user answers it.
  const int32_t displayTime = leadingNumber(sReqConfirmMsgs) > 0 ? 0 : 10;
  if (leadingNumber(sConfirmMsgID) == 0) sConfirmMsgID = "0";

  const int32_t icon = 6, height = 1800, width = 6000, modal = 1;
  const int16_t transparency = 100;
  std::string answer;
  if (!fncCallPopup(icon, sUnreadMsgs, sPopupMessage, displayTime, height, width, transparency, modal, answer)) {
    subEndApplication();
  }

  if (answer == "EXIT") {
    subWriteLog("MSG : User clicked on the EXIT button of the popup");
    subEndApplication();
  } else if (answer == "CLICK") {
    subWriteLog("MSG : User clicked on the popup");
    fncExecuteMsgInbox();
  } else if (answer == "AUTOCLOSE") {
    subWriteLog("MSG : Popup timeout.");
    subEndApplication();
  } else if (answer == "OKCLICK") {
    fncUpdateConfirmationCount();
    fncUpdateUserStatus(sConfirmMsgID, "1");
    subWriteLog("MSG : User clicked on OK button");
    fncExecuteMsgInbox();
  }
}

}  // namespace nfy
