// Test helpers for the popup component: setting its eight properties the
// way the popup bridge does, and a private session bus for the process.
#pragma once

#include <memory>
#include <string>

#include "platform/component.h"

namespace nfy::test {

// Sets the eight properties with the bridge's types and values, calls
// "Popup" and returns "ClosedBy".
std::string showPopup(platform::component::Object& popup, const std::string& header, const std::string& body,
                      int32_t displaySeconds);

// Starts one private session bus (dbus-run-session) for the whole test
// process and points DBUS_SESSION_BUS_ADDRESS at it. The bus ends with the
// process: its keeper reads standard input from a pipe that only this
// process holds.
void usePrivateSessionBus();

// Points standard input and output at /dev/null until the end of the scope,
// so that no terminal is attached.
class NoTerminal {
 public:
  NoTerminal();
  ~NoTerminal();
  NoTerminal(const NoTerminal&) = delete;
  NoTerminal& operator=(const NoTerminal&) = delete;

 private:
  int savedIn_, savedOut_;
};

}  // namespace nfy::test
