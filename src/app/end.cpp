#include "app/end.h"

#include "app/log.h"
#include "base/errors.h"

namespace nfy {

void subEndApplication() {
  try {
    subWriteLog("MSG : Application Ended.");
  } catch (...) {
  }
  closeLog();
  throw RunEnded{};
}

int runProcess(void (*run)()) {
  try {
    run();
  } catch (const RunEnded&) {
  }
  closeLog();
  return 0;
}

}  // namespace nfy
