// Message lifecycle: expiry and recall, the delivery status report, the
// subject index and confirmations.
#pragma once

#include <string>

namespace nfy {

// The clean-up pass over the stored messages: removes each recalled, read
// or expired message, keeps the summary counts and the subject index right,
// reports the removal and deletes the body file. One message that cannot be
// handled is logged and left for the next run; the others are still handled.
void fncDeleteExpiredMsgs();

// The twelve values of the delivery status report "wpdcmsendmsgdskupd", in
// the order of the request's elements.
struct DeliveryReport {
  std::string msgId, dcDownloadTime, mnDownloadTime, informedTo, mnInformTime, displayedTo, mnDisplayTime, repliedBy,
      mnReplyTime, mnExpiryTime, status, mnRecallTime;
};

// Posts the report; a report that cannot be posted is saved under the data
// folder's "DeskPostLogs" so that it is not lost.
void fncPostTemplateExecutionStatus(DeliveryReport report);

// The report's request body (values escaped, blanks of the time fields
// already turned into "null" by the caller).
std::string deliveryReportXml(const DeliveryReport& r);

// Names the first stored message still awaiting confirmation in the summary.
// `excludedId` (the message being removed) is never named.
void fncSetSubject(const std::string& excludedId = {});

// The user confirmed the message named by sConfirmMsgID: its own
// "RequireUserConfirmation" becomes "0", the summary count one less and the
// next message awaiting confirmation is named.
void fncUpdateConfirmationCount();

// Posts "wpdcmupdateusrstatus" for one message (ids not above 0 send nothing).
// True when the post succeeded.
bool fncUpdateUserStatus(const std::string& messageId, const std::string& status);

// The number a message's "RequireUserConfirmation" stands for: blank (a
// message whose reply asked nothing) is 0, anything else must be a number
// (error 13 otherwise).
double confirmationNumber(const std::string& stored);

}  // namespace nfy
