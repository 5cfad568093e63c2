#include "bridges/popup.h"

#include <memory>
#include <vector>

#include "app/errors.h"
#include "app/files.h"
#include "app/globals.h"
#include "app/launch.h"
#include "app/log.h"
#include "app/paths.h"
#include "platform/component.h"

namespace nfy {

bool fncCallPopup(const int32_t& icon, const std::string& header, const std::string& body,
                  const int32_t& displayTimeSeconds, const int32_t& height, const int32_t& width,
                  const int16_t& transparency, const int32_t& modal, std::string& answer) {
  namespace component = platform::component;
  std::unique_ptr<component::Object> toast;
  const std::string toastFile = sInstallPath + paths::popupComponent();
  try {
    subWriteLog("MSg : In fncCallPopup");
    // A missing file does not stop the attempt: the component may be
    // registered from elsewhere.
    if (!files::fileExists(toastFile)) subWriteLog("ERR : " + toastFile + " is missing. ");
    toast = component::create("nfyToast.Display");
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
