// The message flow's state for one run, in one struct: the summary as the
// run read it at its start, the message being handled, and the records of
// the reply. The counts that reach the inbox never come from here: every
// change of the inbox writes the counts its own sections give.
#pragma once

#include <string>
#include <vector>

namespace nfy {

// One message of the reply, one text per field, in reply-field order.
struct typMsgRecord {
  std::string sID, sSubject, sContent, sUserActionID, sUserActionData, sFromDate, sToDate, sTimeToLive, sTimeToLiveHrs,
      sTimeToLiveDays, sTimeToLiveDate, sCreatedBy, sStatus, sDCDownTime, sReqUsrConfirm;
};

struct RunSummary {
  // As read from the summary at the start of the run (logged), then the
  // notification's texts.
  std::string sTotalMsgs, sUnreadMsgs, sReqConfirmMsgs, sMsgID, sSubject;
  std::string sMsgSubject;    // subject of the message being handled
  std::string sConfirmMsgID;  // the message the popup asks to confirm
  long lNewMsgCount = 0;      // new messages of this run's reply
  std::vector<typMsgRecord> arrMessages;
  // The ids of the reply's messages that this run wrote (new or changed);
  // a message the inbox held as the reply has it is not among them.
  std::vector<std::string> writtenIds;
};

extern RunSummary runSummary;

// The names the procedures use for the parts of the run's state.
inline std::string& sTotalMsgs = runSummary.sTotalMsgs;
inline std::string& sUnreadMsgs = runSummary.sUnreadMsgs;
inline std::string& sReqConfirmMsgs = runSummary.sReqConfirmMsgs;
inline std::string& sMsgID = runSummary.sMsgID;
inline std::string& sSubject = runSummary.sSubject;
inline std::string& sMsgSubject = runSummary.sMsgSubject;
inline std::string& sConfirmMsgID = runSummary.sConfirmMsgID;
inline long& lNewMsgCount = runSummary.lNewMsgCount;
inline std::vector<typMsgRecord>& arrMessages = runSummary.arrMessages;
inline std::vector<std::string>& writtenIds = runSummary.writtenIds;

}  // namespace nfy
