// Message lifecycle: expiry and recall, the subject index, confirmations.
#pragma once

#include <string>

namespace nfy {

void fncDeleteExpiredMsgs();
// Names the first stored message still awaiting confirmation in the summary.
void fncSetSubject();
// The user confirmed the message named by sConfirmMsgID: its own
// "RequireUserConfirmation" becomes "0", the summary count one less and the
// next message awaiting confirmation is named.
void fncUpdateConfirmationCount();
// Posts "wpdcmupdateusrstatus" for one message (ids not above 0 send nothing).
// True when the post succeeded.
bool fncUpdateUserStatus(const std::string& messageId, const std::string& status);

}  // namespace nfy
