// The delivery status report: what became of a removed message, posted to
// the web service, or kept in the outbox when the post fails.
#pragma once

#include <string>

namespace nfy {

// The twelve values of the delivery status report "wpdcmsendmsgdskupd", in
// the order of the request's elements.
struct DeliveryReport {
  std::string msgId, dcDownloadTime, mnDownloadTime, informedTo, mnInformTime, displayedTo, mnDisplayTime, repliedBy,
      mnReplyTime, mnExpiryTime, status, mnRecallTime;
};

// Posts the report; a report that cannot be posted is saved under the data
// folder's "DeskPostLogs" so that it is not lost.
void fncPostTemplateExecutionStatus(DeliveryReport report);

// A delivery status report in the outbox: saved to "DeskPostLogs" before
// the removal it reports is committed, posted after it, and deleted once the
// service accepted it. What a run cannot post stays for nfyDeskResend; a
// report is thus delivered at least once, and a repeated one has the same
// body.
struct OutboxReport {
  std::string url;   // "" when the endpoint is missing (the post then fails)
  std::string body;  // the request body
  std::string path;  // the saved file
};
// The report's URL, body and file name ("ERR: Unable to find url in
// wpdcmsendmsgdskupd" when the endpoint is missing); nothing is written.
OutboxReport prepareOutboxReport(DeliveryReport report);
// Writes the report's file as a new file, flushed, renamed into place and
// the folder flushed. False, with its error line, when it cannot: the
// removal must then not be committed.
bool saveOutboxReport(const OutboxReport& report);
// Deletes the file again (the removal it reports was not committed).
void discardOutboxReport(const OutboxReport& report);
// Posts the report; once the service accepted it, its file is deleted.
void postOutboxReport(const OutboxReport& report);

// The report's request body (values escaped, blanks of the time fields
// already turned into "null" by the caller).
std::string deliveryReportXml(const DeliveryReport& r);

}  // namespace nfy
