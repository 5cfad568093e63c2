#include "notifier/run.h"

#include "app/end.h"
#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "base/errors.h"
#include "bridges/desk_template.h"
#include "inbox/ini_access.h"
#include "lifecycle/staying_record.h"
#include "notifier/message_flow.h"

namespace nfy {

void Main() {
  try {
    sAppTitle = "Zorira rorazevarazu";
    // A run logs lines by the thousand over a large inbox: in batches.
    setLogBatched(true);
    subCreateLog();
    if (!files::fileExists(sInstallPath + paths::templateFile())) {
      subWriteLog("MSG :" + sInstallPath + paths::templateFile() + " is missing. ");
      subEndApplication();
    }
    // An inbox that an earlier run recorded, unchanged since, has true
    // counts: they are not counted again.
    if (const std::optional<StayingRecord> recorded =
            sInboxINI_Write.empty() ? std::nullopt : readStayingRecord(sInboxINI_Write))
      trustInboxCountsOf(recorded->digest);
    FncFixMisMatch();
    std::string templatePath = sInstallPath + paths::templateFile();
    if (!fncParseDeskTemplateXML(templatePath)) subEndApplication();
    fncExtractMsgData();
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : In Main, " + std::to_string(t.number) + ":" + t.description);
    subEndApplication();
  }
}

}  // namespace nfy
