// Parsing the web service's "dcmgetmsgstatus" reply into the inbox and the
// message body files.
#pragma once

#include <string>
#include <vector>

#include "inbox/run_summary.h"

namespace nfy {

// Stores every message of the reply; true when at least one message element
// was handled to its end.
bool fncParseDeskMessages(const std::string& reply);

// Writes a message's body file sMsgFolder + separator + SID + ".dat".
void subCreateMsgFile(const std::string& SID, const std::string& Content);
// subCreateMsgFile, saying whether the file was written.
bool createMsgFile(const std::string& SID, const std::string& Content);

// A message id that can safely name a body file and an INI section: not
// empty, not "." or "..", at most 128 characters, and free of path and
// section syntax (\ / : * ? " < > | ]), of "," (the list of section names
// is joined by it) and of control characters.
bool isSafeMessageId(const std::string& id);

}  // namespace nfy
