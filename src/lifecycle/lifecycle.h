// Message lifecycle: expiry and recall, confirmation count, user status.
#pragma once

#include <string>

namespace nfy {

void fncDeleteExpiredMsgs();
void fncUpdateConfirmationCount();
void fncUpdateUserStatus(const std::string& messageId, const std::string& status);

}  // namespace nfy
