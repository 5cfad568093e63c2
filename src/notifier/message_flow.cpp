#include "notifier/message_flow.h"

#include <utility>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/web_request.h"
#include "base/errors.h"
#include "base/text.h"
#include "bridges/popup.h"
#include "bridges/web_post.h"
#include "inbox/ini_access.h"
#include "inbox/message_parse.h"
#include "inbox/run_summary.h"
#include "lifecycle/expiry.h"
#include "notifier/notification.h"
#include "platform/clock.h"

namespace nfy {

namespace {

std::string statusRequestXml() {
  return "<wpdcmgetmsgstatus><mmid>" + xmlEscape(sMemberID) + "</mmid><regid>" + xmlEscape(sRegID) + "</regid>" +
         "<usrname>" + xmlEscape(sUserName) + "</usrname><dt>" + platform::nowStamp() + "</dt></wpdcmgetmsgstatus>";
}

// Reads the unread count again and notifies when messages are unread.
void notifyWhenUnread() {
  sUnreadMsgs = readIni("MsgCount", "UnReadMsgs");
  if (leadingNumber(sUnreadMsgs) > 0) notifyUser();
}

}  // namespace

bool fncExtractMsgData() {
  try {
    subWriteLog("MSG : In fncExtractMsgData");
    sTotalMsgs = readIni("MsgCount", "TotalMsgs");
    sUnreadMsgs = readIni("MsgCount", "UnreadMsgs");
    sReqConfirmMsgs = readIni("MsgCount", "RequireUserConfirmation");
    sMsgID = readIni("MsgCount", "MSGId");
    sSubject = readIni("MsgCount", "Subject");
    subWriteLog("MSG : Total existing messages            = " + numberText(leadingNumber(sTotalMsgs)));
    subWriteLog("MSG : Total Unread messages              = " + numberText(leadingNumber(sUnreadMsgs)));
    subWriteLog("MSG : Require User Confirmation messages = " + numberText(leadingNumber(sReqConfirmMsgs)));
    subWriteLog("MSG : Message Id                         = " + numberText(leadingNumber(sMsgID)));
    subWriteLog("MSG : Subject                            = " + trim(sSubject));

    // Unread messages now mean a popup at the end of the run, unless the
    // reply takes them all away: its connection is made while the service
    // answers.
    if (leadingNumber(sUnreadMsgs) > 0) preparePopup();

    std::string url = endpointUrl("wpdcmgetmsgs", "wpdcmgetmsgstatus");
    std::string reply;
    bool posted = WebPost(statusRequestXml(), url, reply);

    if (posted && !trimView(reply).empty()) {
      if (!fncParseDeskMessages(std::move(reply))) return false;
      fncDeleteExpiredMsgs();
      if (lNewMsgCount > 0) notifyWhenUnread();
      return true;
    }
    if (posted) {
      fncDeleteExpiredMsgs();
      subWriteLog("MSG : No new messages found.");
    }
    notifyWhenUnread();
    return false;
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : In fncExtractMsgData, " + std::to_string(t.number) + ":" + t.description);
    return false;
  }
}

}  // namespace nfy
