// The communicator template: the popup body text and the inbox title.
#pragma once

#include <string>

namespace nfy {

// Reads sPopupMessage and sInboxTitle; true when an "inboxtitle" was found.
bool fncParseDeskTemplateXML(const std::string& templatePath);

// The popup header: the template title when it differs from the default
// title, else "You have total <n> message(s) ..." with the unread count as read.
std::string notificationText(const std::string& inboxTitle, const std::string& unreadCount);

}  // namespace nfy
