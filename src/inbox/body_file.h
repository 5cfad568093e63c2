// The message body files: one per stored message, named after its id, in
// the data folder's messages folder.
#pragma once

#include <string>

namespace nfy {

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
