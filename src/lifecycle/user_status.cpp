#include "lifecycle/user_status.h"

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/web_request.h"
#include "base/errors.h"
#include "base/text.h"
#include "bridges/web_post.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"

namespace nfy {
namespace {

// True when the inbox holds a message section of this name (names match
// without regard to case, as the INI file's do).
bool isStoredMessage(const std::string& id) {
  for (const std::string& name : splitAt(fncGetSectionNames(), ',')) {
    if (iequals(name, id)) return true;
  }
  return false;
}

}  // namespace

double confirmationNumber(const std::string& stored) {
  std::string t = trim(stored);
  return t.empty() ? 0 : strictNumber(t);
}

void fncSetSubject(const std::string& excludedId) {
  try {
    subWriteLog("MSG : In fncSetSubject");
    std::string list = fncGetSectionNames();
    if (trim(list).empty()) {
      subWriteLog("MSG : No messages found.");
      return;
    }
    subWriteLog("MSG : Messages sections found :: " + list);
    for (const std::string& id : splitAt(list, ',')) {
      subWriteLog("MSG : fncSetSubject ---------MSG ID [" + id + "]----------------");
      if (id != excludedId && confirmationNumber(readIni(id, "RequireUserConfirmation")) > 0) {
        std::string subject = readIni(id, "Subject");
        writeSummary("MSGId", trim(id));
        writeSummary("Subject", subject);
        return;
      }
    }
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncSetSubject, " + trap(e).description);
  }
}

void fncUpdateConfirmationCount() {
  // The confirmation's changes reach the file together, in one replace.
  IniWriteScope confirmation(sInboxINI_Write);
  // The confirmed message no longer awaits confirmation, so that the subject
  // index moves on to the next one instead of naming it again. Only a stored
  // message is touched: a write would make a section for any other id.
  ignoreErrors([] {
    if (leadingNumber(sConfirmMsgID) > 0 && isStoredMessage(sConfirmMsgID)) {
      fncwriteToINI(sConfirmMsgID, "RequireUserConfirmation", "0", sInboxINI_Write);
    }
  });
  std::string count;
  ignoreErrors([&] { count = readIni("MsgCount", "RequireUserConfirmation"); });
  if (leadingNumber(count) <= 0) return;
  count = numberText(leadingNumber(count) - 1);
  ignoreErrors([&] { writeSummary("RequireUserConfirmation", trim(count)); });
  ignoreErrors([&] { writeSummary("MSGId", ""); });
  ignoreErrors([&] { writeSummary("Subject", ""); });
  if (leadingNumber(count) > 0) ignoreErrors([] { fncSetSubject(); });
}

bool fncUpdateUserStatus(const std::string& messageId, const std::string& status) {
  if (!(leadingNumber(messageId) > 0)) return false;
  std::string url;
  ignoreErrors([&] { fncReadFromINI(url, "wpdcmgetmsgs", "URL", sInstallPath + paths::endpointIni()); });
  if (trim(url).empty()) {
    subWriteLog("ERR: Unable to find url in wpdcmgetmsgs");
  } else {
    url = serviceUrl(url, "wpdcmupdateusrstatus");
  }
  subWriteLog("sUrl : " + url);
  std::string xml = "<wpdcmupdateusrstatus><mmid>" + xmlEscape(sMemberID) + "</mmid><regid>" + xmlEscape(sRegID) +
                    "</regid><msgid>" + xmlEscape(messageId) + "</msgid><usrstatus>" + xmlEscape(status) +
                    "</usrstatus></wpdcmupdateusrstatus>";
  subWriteLog("sXML : " + xml);
  bool posted = false;
  ignoreErrors([&] {
    std::string reply;
    posted = WebPost(xml, url, reply);
    if (posted) {
      subWriteLog("MSG : Webpost Return ::  " + reply);
      if (!trim(reply).empty()) subWriteLog("MSG : Webpost Successful");
    }
  });
  return posted;
}

}  // namespace nfy
