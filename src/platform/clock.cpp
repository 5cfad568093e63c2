#include "platform/clock.h"

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

std::tm localNow() { return localTime(currentTime()); }
std::string nowStamp() { return stampDateTime(localNow()); }
DateTime localDateTime(std::time_t t) { return DateTime::fromTm(localTime(t)); }

}  // namespace nfy::platform
