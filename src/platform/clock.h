// The program's clock in local time. Every time the program stamps or
// compares comes from currentTime() (platform/system.h), which tests can set.
#pragma once

#include <ctime>
#include <string>

#include "base/text.h"

namespace nfy::platform {

// Local time now, as broken-down time.
std::tm localNow();
// "MM/DD/YYYY HH:NN:SS" of the local time now.
// (One text for the program, changed once a second.)
const std::string& nowStamp();
// A time_t as a local calendar date and time.
DateTime localDateTime(std::time_t t);

}  // namespace nfy::platform
