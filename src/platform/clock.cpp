#include "platform/system.h"
#include "platform/system_testing.h"

namespace nfy::platform {
namespace {
ClockHook& testClock() {
  static ClockHook hook;
  return hook;
}
}  // namespace

void setClockForTesting(ClockHook hook) { testClock() = std::move(hook); }

std::time_t currentTime() { return testClock() ? testClock()() : std::time(nullptr); }

}  // namespace nfy::platform
