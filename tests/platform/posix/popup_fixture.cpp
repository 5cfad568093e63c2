#include "popup_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "child_process.h"

namespace nfy::test {

using platform::component::Value;

std::string showPopup(platform::component::Object& popup, const std::string& header, const std::string& body,
                      int32_t displaySeconds) {
  popup.put("Icon", Value(int32_t{6}));
  popup.put("Header", Value(header));
  popup.put("Body", Value(body));
  popup.put("DisplayTimeSeconds", Value(displaySeconds));
  popup.put("PopupHeight", Value(int32_t{1800}));
  popup.put("PopupWidth", Value(int32_t{6000}));
  popup.put("TransparencyLevel", Value(int16_t{100}));
  popup.put("ModalForm", Value(int32_t{1}));
  std::vector<platform::component::Arg> none;
  popup.call("Popup", none);
  return popup.get("ClosedBy").toString();
}

void usePrivateSessionBus() {
  static ChildProcess* keeper = nullptr;  // lives as long as the process
  static std::string address;
  if (!keeper) {
    ChildProcess::Options o;
    o.holdStdin = true;
    o.quietStderr = true;
    keeper = new ChildProcess(
        {"dbus-run-session", "--", "sh", "-c", "echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null"}, o);
    if (!keeper->readLine(address, 10000) || address.empty())
      throw std::runtime_error("dbus-run-session did not start a bus");
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

NoTerminal::NoTerminal() {
  std::fflush(stdout);
  savedIn_ = dup(STDIN_FILENO);
  savedOut_ = dup(STDOUT_FILENO);
  int null = open("/dev/null", O_RDWR);
  dup2(null, STDIN_FILENO);
  dup2(null, STDOUT_FILENO);
  close(null);
}

NoTerminal::~NoTerminal() {
  dup2(savedIn_, STDIN_FILENO);
  dup2(savedOut_, STDOUT_FILENO);
  close(savedIn_);
  close(savedOut_);
}

}  // namespace nfy::test
