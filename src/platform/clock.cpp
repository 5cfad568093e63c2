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
const std::string& nowStamp() {
  // Every log line carries the stamp: it is formatted once a second.
  static std::time_t last = -1;
  static std::string stamp;
  const std::time_t now = currentTime();
  if (now != last) {
    stamp = stampDateTime(localTime(now));
    last = now;
  }
  return stamp;
}
DateTime localDateTime(std::time_t t) { return DateTime::fromTm(localTime(t)); }

}  // namespace nfy::platform
