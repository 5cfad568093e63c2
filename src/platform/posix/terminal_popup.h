// The popup as a dialog on the terminal, for sessions without a
// notification service but with a terminal on standard input and output.
// Enter opens the inbox ("CLICK"), "o" confirms ("OKCLICK", offered only
// when the message awaits confirmation), "x" closes ("EXIT"); end of input
// also closes, and the display time running out gives "AUTOCLOSE". The
// terminal is used only while the process is in its foreground process
// group (a background job would be stopped by reading it).
#pragma once

#include <memory>

#include "platform/component.h"

namespace nfy::platform::component {

bool terminalAttached();
std::unique_ptr<Object> createTerminalPopup();

}  // namespace nfy::platform::component
