#include "app/error_text.h"

#include "app/log.h"
#include "base/errors.h"
#include "platform/system.h"

namespace nfy {

std::string fncFormatMessage(long code) {
  try {
    char buffer[200] = {};
    unsigned long n = platform::formatSystemMessage(static_cast<unsigned long>(code), buffer, sizeof buffer);
    if (n >= 1) {
      // The system's text without its closing CR LF.
      return std::to_string(code) + "-" + std::string(buffer, n >= 2 ? n - 2 : 0);
    }
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : fncFormatMessage. ErrDesc : " + std::to_string(t.number) + " " + t.description);
  }
  return std::to_string(code);
}

}  // namespace nfy
