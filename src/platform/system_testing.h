// Unit tests replace the message box, which waits for a user, and the clock
// behind these seams.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace nfy::platform {

using MessageBoxHook = std::function<void(const std::string& text, const std::string& title, unsigned style)>;

// Installs a function that messageBox() calls instead of the platform's own;
// an empty function restores the platform's own.
void setMessageBoxForTesting(MessageBoxHook hook);

using ClockHook = std::function<std::time_t()>;

// Installs a function that currentTime() asks instead of the system clock;
// an empty function restores the system clock.
void setClockForTesting(ClockHook hook);

}  // namespace nfy::platform
