#include "bridges/popup.h"

#include <memory>
#include <optional>
#include <vector>

#include "app/files.h"
#include "app/globals.h"
#include "app/launch.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "platform/component.h"

namespace nfy {
namespace {
constexpr const char* kProgId = "nfyToast.Display";
}

void preparePopup() { platform::component::prepare(kProgId); }

bool fncCallPopup(const int32_t& icon, const std::string& header, const std::string& body,
                  const int32_t& displayTimeSeconds, const int32_t& height, const int32_t& width,
                  const int16_t& transparency, const int32_t& modal, std::string& answer) {
  namespace component = platform::component;
  std::unique_ptr<component::Object> toast;
  const std::string toastFile = sInstallPath + paths::popupComponent();
  try {
    subWriteLog("MSg : In fncCallPopup");
    // A missing file does not stop the attempt: the component may be
    // registered from elsewhere. A popup built into the program has no file;
    // what matters is whether it can be shown in this session.
    const std::optional<bool> builtIn = component::builtInAvailable(kProgId);
    if (!builtIn) {
      if (!files::fileExists(toastFile)) subWriteLog("ERR : " + toastFile + " is missing. ");
    } else if (!*builtIn) {
      subWriteLog("ERR : " + std::string(kProgId) + " is not available: no notification service and no terminal. ");
    }
    flushLog();  // the popup may stay up for hours
    toast = component::create(kProgId);
    toast->put("Icon", icon);
    toast->put("Header", header);
    toast->put("Body", body);
    toast->put("DisplayTimeSeconds", displayTimeSeconds);
    toast->put("PopupHeight", height);
    toast->put("PopupWidth", width);
    toast->put("TransparencyLevel", transparency);
    toast->put("ModalForm", modal);
    std::vector<component::Arg> none;
    toast->call("Popup", none);  // returns once the popup has been closed
    answer = toast->get("ClosedBy").toString();
    return true;
  } catch (const std::exception& e) {
    // Keep the description before the registration call can log anything.
    std::string description = trap(e).description;
    fncRegisterDLL(toastFile);
    subWriteLog("ERR : fncCallPopup, " + description);
    toast.reset();
    return false;
  }
}

}  // namespace nfy
