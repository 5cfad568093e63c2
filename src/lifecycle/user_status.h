// The user's answers: the subject index of the messages awaiting
// confirmation, a confirmation, and the user status report.
#pragma once

#include <string>

namespace nfy {

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
