// Telling the user about unread messages and acting on the popup's answer.
#pragma once

#include <string>

namespace nfy {

// The popup header: the template title when it differs from the default
// title, else "You have total <n> message(s) ..." with the unread count as read.
std::string notificationText(const std::string& inboxTitle, const std::string& unreadCount);

// Shows the popup for the unread count in sUnreadMsgs and acts on the answer:
// opens the inbox viewer, reports a confirmation, or ends the run. Returns
// only on an answer it does not know (or when the viewer start returns).
void notifyUser();

}  // namespace nfy
