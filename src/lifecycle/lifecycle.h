// Message lifecycle: expiry and recall, the subject index, confirmations.
#pragma once

#include <string>

namespace nfy {

void fncDeleteExpiredMsgs();
// Names the first stored message still awaiting confirmation in the summary.
void fncSetSubject();
// One confirmation less; the next message awaiting confirmation is named.
void fncUpdateConfirmationCount();
// Posts "wpdcmupdateusrstatus" for one message (ids not above 0 send nothing).
void fncUpdateUserStatus(const std::string& messageId, const std::string& status);

}  // namespace nfy
