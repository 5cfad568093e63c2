// The delivery status report: what became of a removed message, posted to
// the web service, or saved to disk when the post fails.
#include "lifecycle/status_report.h"

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
#include "platform/clock.h"
#include "platform/file_ops.h"

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

namespace {

void nullsForBlanks(DeliveryReport& r) {
  for (std::string* v :
       {&r.mnDownloadTime, &r.mnInformTime, &r.mnDisplayTime, &r.mnReplyTime, &r.mnExpiryTime, &r.mnRecallTime}) {
    nullWhenBlank(*v);
  }
}

// The saved file of a report: "DeskPostLogs" of the data folder, made when
// missing, and the name with the report's message id and the time.
std::string savedReportPath(const DeliveryReport& r) {
  const std::string folder = sDataPath + paths::postLogsFolder();
  return folder + paths::sep() + "wpdcmsendmsgdskupd_N_" + fileNamePart(sRegID) + "_" + fileNamePart(r.msgId) + "_" +
         saveStamp(platform::localNow()) + ".xml";
}

// Writes the saved file; raises when it cannot.
void writeSavedReport(const std::string& path, const std::string& body) {
  subWriteLog("MSG : Creating File " + path);
  // Without a data folder (start-up stopped early) there is no place for
  // the report: never write it relative to wherever the process runs.
  if (!paths::isAbsolute(sDataPath)) raiseError(err::kPathNotFound);
  // The installation folder gets its "DeskPostLogs" at start-up; the data
  // folder may not have one yet. Make it, so that the report is kept.
  ensureFolder(sDataPath + paths::postLogsFolder());
  // The report names the user, the message and the time: the user's own.
  files::writeWholeFile(path, body + "\r\n", platform::NewFile::Private);
}

// Deletes a saved report; a failure is logged with `consequence`.
void deleteSavedReport(const std::string& path, const std::string& consequence) {
  subWriteLog("MSG : Deleting file :: " + path);
  if (!platform::removeFile(path)) {
    subWriteLog("ERR : fncPostTemplateExecutionStatus, " + platform::lastFileError().text + ", deleting " + path +
                consequence);
  }
}

}  // namespace

void fncPostTemplateExecutionStatus(DeliveryReport r) {
  try {
    const OutboxReport report = prepareOutboxReport(std::move(r));
    subWriteLog("MSG : webposting " + logExcerpt(report.body));
    std::string reply;
    if (!WebPost(report.body, report.url, reply)) writeSavedReport(report.path, report.body);
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncPostTemplateExecutionStatus, " + trap(e).description);
  }
}

OutboxReport prepareOutboxReport(DeliveryReport r) {
  nullsForBlanks(r);
  OutboxReport out;
  out.url = endpointUrl("wpdcmsendmsgdskupd", "wpdcmsendmsgdskupd");
  out.body = deliveryReportXml(r);
  out.path = savedReportPath(r);
  return out;
}

bool saveOutboxReport(const OutboxReport& report) {
  try {
    writeSavedReport(report.path, report.body);
    return true;
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncPostTemplateExecutionStatus, " + trap(e).description);
    // A report whose folder could not be flushed may stand in the folder all
    // the same: the removal it reports will not happen, so it must go.
    if (platform::fileOwnership(report.path) == platform::Ownership::Own) platform::removeFile(report.path);
    return false;
  }
}

void discardOutboxReport(const OutboxReport& report) {
  deleteSavedReport(report.path, "; it reports a removal that did not happen");
}

void postOutboxReport(const OutboxReport& report) {
  try {
    subWriteLog("MSG : webposting " + logExcerpt(report.body));
    std::string reply;
    if (!WebPost(report.body, report.url, reply)) {
      subWriteLog("MSG : The report stays in " + report.path + " for a later delivery");
      return;
    }
    // A report the service accepted must not stay: it would be sent again.
    deleteSavedReport(report.path, "; the service may get the report again");
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncPostTemplateExecutionStatus, " + trap(e).description);
  }
}

}  // namespace nfy
