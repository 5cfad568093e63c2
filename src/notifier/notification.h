// Telling the user about unread messages and acting on the popup's answer.
#pragma once

namespace nfy {

// Shows the popup for the unread count in sUnreadMsgs and acts on the answer:
// opens the inbox viewer, reports a confirmation, or ends the run. Returns
// only on an answer it does not know (or when the viewer start returns).
void notifyUser();

}  // namespace nfy
