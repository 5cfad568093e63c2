// One delivery pass over the saved reports of the data folder: each of the
// user's reports, oldest first, is posted as it is to the report URL; the
// service's acceptance deletes it, its refusal keeps it (and after 30 days
// of refusals moves it aside), and a service that cannot be reached ends
// the pass, so that the rest waits for the next run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nfy::resend {

struct PassLimits {
  std::size_t maxReports = 500;        // reports looked at per run
  std::uint64_t maxBytes = 64 * 1024;  // a report is well under a kilobyte
  // A refused report whose file is this old goes to "undeliverable".
  std::int64_t refusedSeconds = 30LL * 24 * 60 * 60;
};

struct PassOutcome {
  int delivered = 0;  // accepted and deleted
  int refused = 0;    // refused and kept
  int moved = 0;      // refused and moved to "undeliverable"
  int leftAlone = 0;  // not readable as a report of this user
  bool unreachable = false;
  bool capped = false;  // more reports than one run looks at
};

// The folder of the saved reports; "undeliverable" below it.
std::string undeliverableFolder(const std::string& folder);

// Delivers the reports of `folder` to `url`. The age of a refused report is
// that of its file: the notifier writes it once, when the report could not
// be posted, and nothing changes it afterwards.
// The folder is listed under the lock of `inboxFile` (when given): the
// notifier saves a report under that lock before the removal it reports is
// committed, and deletes it again when the commit fails, so a report seen
// under the lock is one of a removal that happened.
PassOutcome deliverSavedReports(const std::string& folder, const std::string& url, const PassLimits& limits = {},
                                const std::string& inboxFile = {});

// The request body a saved report holds: the file without its final line
// break, when that is one whole report (one "wpdcmsendmsgdskupd" element and
// nothing else); false otherwise (an empty or cut file).
bool savedReportBody(const std::string& file, std::string& body);

}  // namespace nfy::resend
