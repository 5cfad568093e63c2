// The popup as a freedesktop notification (libnotify over the session bus).
// The header is the summary and the body the body; the notification's
// default action ("default", a click on it) answers "CLICK" and, when the
// message awaits confirmation, the "OK" button (action "ok") "OKCLICK".
// Dismissed by the user: "EXIT"; expired, or the display time ran out (the
// notification is then closed): "AUTOCLOSE". A session bus that goes away
// while the popup is up also ends it with "AUTOCLOSE".
#pragma once

#include <memory>

#include "platform/component.h"

namespace nfy::platform::component {

// True when DBUS_SESSION_BUS_ADDRESS names a bus on which someone owns, or
// the bus can start, org.freedesktop.Notifications.
bool notificationServiceAvailable();

// Connects to the session bus on a thread of its own, so that the popup
// shown later in the run finds the connection made. Does nothing without
// DBUS_SESSION_BUS_ADDRESS or when a connection is made or being made.
void prepareSessionBus();

std::unique_ptr<Object> createDesktopPopup();

}  // namespace nfy::platform::component
