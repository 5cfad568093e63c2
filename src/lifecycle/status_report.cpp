// The delivery status report: what became of a removed message, posted to
// the web service, or saved to disk when the post fails.
#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "app/web_request.h"
#include "base/errors.h"
#include "base/text.h"
#include "bridges/web_post.h"
#include "inbox/ini_access.h"
#include "lifecycle/lifecycle.h"
#include "platform/clock.h"

namespace nfy {
namespace {

void nullWhenBlank(std::string& value) {
  if (trim(value).empty()) value = "null";
}

std::string element(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + xmlEscape(value) + "</" + name + ">";
}

// "MMDDYYYYHHNNSSS": the seconds twice, the second time without a leading zero.
std::string saveStamp(const std::tm& t) { return stampFileDate(t) + stampFileTime(t) + std::to_string(t.tm_sec); }

// A file name part made of the message id or the registration id: any
// character a file name cannot hold, or that would lead out of the folder,
// becomes "_". Ordinary ids are unchanged.
std::string fileNamePart(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  if (out == "." || out == "..") out = "_";
  return out;
}

}  // namespace

std::string deliveryReportXml(const DeliveryReport& r) {
  return "<wpdcmsendmsgdskupd>" + element("mmid", sMemberID) + element("msgid", r.msgId) + element("regid", sRegID) +
         element("dcddwnldtime", r.dcDownloadTime) + element("mnddwnldtime", r.mnDownloadTime) +
         element("informto", r.informedTo) + element("mninformtime", r.mnInformTime) +
         element("displayto", r.displayedTo) + element("mndisplaytime", r.mnDisplayTime) +
         element("mnreplyby", r.repliedBy) + element("mnreplytime", r.mnReplyTime) +
         element("mnexptime", r.mnExpiryTime) + element("status", r.status) + element("mnrecalltime", r.mnRecallTime) +
         element("exever", sExeVersion) + "</wpdcmsendmsgdskupd>";
}

void fncPostTemplateExecutionStatus(DeliveryReport r) {
  try {
    for (std::string* v :
         {&r.mnDownloadTime, &r.mnInformTime, &r.mnDisplayTime, &r.mnReplyTime, &r.mnExpiryTime, &r.mnRecallTime}) {
      nullWhenBlank(*v);
    }
    std::string url;
    fncReadFromINI(url, "wpdcmsendmsgdskupd", "URL", sInstallPath + paths::endpointIni());
    if (trim(url).empty()) {
      subWriteLog("ERR: Unable to find url in wpdcmsendmsgdskupd");
    } else {
      url = serviceUrl(url, "wpdcmsendmsgdskupd");
    }
    const std::string body = deliveryReportXml(r);
    subWriteLog("MSG : webposting " + logExcerpt(body));
    std::string reply;
    if (WebPost(body, url, reply)) return;

    const std::string folder = sDataPath + paths::postLogsFolder();
    const std::string name = "wpdcmsendmsgdskupd_N_" + fileNamePart(sRegID) + "_" + fileNamePart(r.msgId) + "_" +
                             saveStamp(platform::localNow()) + ".xml";
    subWriteLog("MSG : Creating File " + folder + paths::sep() + name);
    // Without a data folder (start-up stopped early) there is no place for
    // the report: never write it relative to wherever the process runs.
    if (!paths::isAbsolute(sDataPath)) raiseError(err::kPathNotFound);
    // The installation folder gets its "DeskPostLogs" at start-up; the data
    // folder may not have one yet. Make it, so that the report is kept.
    ensureFolder(folder);
    // The report names the user, the message and the time: the user's own.
    files::writeWholeFile(folder + paths::sep() + name, body + "\r\n", platform::NewFile::Private);
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncPostTemplateExecutionStatus, " + trap(e).description);
  }
}

}  // namespace nfy
