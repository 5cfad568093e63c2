// Placeholders: expiry, recall and the confirmation reports are not yet
// built. They log nothing and change nothing.
#include "lifecycle/lifecycle.h"

namespace nfy {

void fncDeleteExpiredMsgs() {}
void fncUpdateConfirmationCount() {}
void fncUpdateUserStatus(const std::string&, const std::string&) {}

}  // namespace nfy
