// Parsing the web service's "dcmgetmsgstatus" reply into the inbox and the
// message body files.
#pragma once

#include <string>

#include "inbox/run_summary.h"

namespace nfy {

// Stores every message of the reply; true when at least one message element
// was handled to its end. The reply is the parse's own: a large one is parsed
// where it lies, not copied.
bool fncParseDeskMessages(std::string reply);

}  // namespace nfy
