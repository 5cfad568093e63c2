// The lifecycle's access to the inbox: one key of a message or of the
// summary read from sInboxINI_Read, one summary key written to
// sInboxINI_Write.
#pragma once

#include <string>

#include "app/globals.h"
#include "inbox/ini_access.h"

namespace nfy::lifecycle {

inline std::string readIni(const std::string& section, const char* key) {
  std::string value;
  fncReadFromINI(value, section, key, sInboxINI_Read);
  return value;
}

inline void writeSummary(const char* key, const std::string& value) {
  fncwriteToINI("MsgCount", key, value, sInboxINI_Write);
}

}  // namespace nfy::lifecycle
