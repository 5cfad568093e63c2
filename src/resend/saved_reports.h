// Which entries of the saved-report folder are this user's reports, and the
// order in which they are sent.
#pragma once

#include <string>
#include <vector>

#include "platform/folder.h"

namespace nfy::resend {

// True for a name the notifier gives a saved delivery status report:
// "wpdcmsendmsgdskupd_" ... ".xml", letter case aside.
bool isReportName(const std::string& name);

// The entries that are reports of the user as whom the process runs,
// oldest first (by modification time, then by name). Other users' files and
// files of other names are left out.
std::vector<platform::FolderEntry> ownReportsOldestFirst(std::vector<platform::FolderEntry> entries);

}  // namespace nfy::resend
