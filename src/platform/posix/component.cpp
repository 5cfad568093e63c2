// The agent's components on Linux are the program's own objects: the web
// poster on libcurl and the popup as a desktop notification, or as a dialog
// on the terminal when the session has no notification service. With
// neither, the popup cannot be created (429), as on a machine where the
// component is not registered.
#include "platform/component.h"

#include "base/errors.h"
#include "base/text.h"
#include "platform/posix/desktop_popup.h"
#include "platform/posix/terminal_popup.h"
#include "platform/posix/web_poster.h"

namespace nfy::platform::component {

std::unique_ptr<Object> createNative(const std::string& progId) {
  if (iequals(progId, "nfyPoster.WebPost")) return createWebPoster();
  if (iequals(progId, "nfyToast.Display")) {
    if (notificationServiceAvailable()) return createDesktopPopup();
    if (terminalAttached()) return createTerminalPopup();
  }
  raiseError(err::kCannotCreateObject);
}

std::optional<bool> builtInAvailableNative(const std::string& progId) {
  if (iequals(progId, "nfyPoster.WebPost")) return true;
  if (iequals(progId, "nfyToast.Display")) return notificationServiceAvailable() || terminalAttached();
  return std::nullopt;
}

void prepareNative(const std::string& progId) {
  if (iequals(progId, "nfyToast.Display")) prepareSessionBus();
}

}  // namespace nfy::platform::component
