#include "resend/resend_run.h"

#include "app/end.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "app/web_request.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_access.h"
#include "platform/system.h"
#include "resend/resend_pass.h"

namespace nfy::resend {
namespace {

void resendMain() {
  try {
    // The reports are delivered without a log too.
    if (!startCompanion()) return;  // no agent here: nothing is written anywhere
    subWriteLog("MSG : Preprocessing : VELT installation path : " + sInstallPath);
    // Two passes at once would send the same reports twice.
    if (platform::claimSingleInstance()) {
      subWriteLog("MSG : nfyDeskResend : another instance is delivering the saved reports");
      subEndApplication();
    }
    readIdentifiers();

    const std::string url = endpointUrl("wpdcmsendmsgdskupd", "wpdcmsendmsgdskupd");
    if (trim(url).empty()) subEndApplication();
    deliverSavedReports(sDataPath + paths::postLogsFolder(), url, {},
                        sDataPath + paths::inboxFolder() + paths::sep() + "nfyDeskInbox_" + sUserName + ".ini");
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : nfyDeskResend, " + std::to_string(t.number) + ":" + t.description);
  }
  subEndApplication();
}

}  // namespace

int runResend() { return runProcess(resendMain); }

}  // namespace nfy::resend
