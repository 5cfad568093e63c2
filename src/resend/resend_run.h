// nfyDeskResend's run: it finds the user's data folder, the identifiers and
// the report URL as the notifier does, logs to a file of its own in the
// program's log folder, and delivers the reports that runs of the notifier
// saved when the service could not be reached. No command line, no
// settings.
#pragma once

namespace nfy::resend {

// The whole run; the process's exit status (always 0: what happened is in
// the log, as with the notifier).
int runResend();

}  // namespace nfy::resend
