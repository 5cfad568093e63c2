// The Linux popup as a desktop notification, against desktop-sim on a
// private session bus.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/errors.h"
#include "child_process.h"
#include "platform/component.h"
#include "popup_fixture.h"
#include "support/sandbox.h"

namespace nfy::platform::component {
namespace {

using test::ChildProcess;

class DesktopPopup : public ::testing::Test {
 protected:
  void SetUp() override { test::usePrivateSessionBus(); }

  // desktop-sim answering every notification with `answer`; recording into
  // the sandbox.
  std::unique_ptr<ChildProcess> startSim(const std::string& answer) {
    auto sim = std::make_unique<ChildProcess>(std::vector<std::string>{
        test::toolPath("desktop-sim"), "--answer", answer, "--delay-ms", "50", "--record", box_.path("notes.txt")});
    std::string line;
    if (!sim->readLine(line, 10000) || line != "desktop-sim ready") throw std::runtime_error("desktop-sim not ready");
    return sim;
  }

  test::Sandbox box_;
};

TEST_F(DesktopPopup, AnswersFollowHowTheNotificationWasClosed) {
  struct Case {
    const char* simAnswer;
    int32_t displaySeconds;
    const char* closedBy;
  } cases[] = {
      {"click", 10, "CLICK"},  {"click", 0, "CLICK"},       {"ok", 0, "OKCLICK"},
      {"dismiss", 10, "EXIT"}, {"expire", 10, "AUTOCLOSE"}, {"dismiss", 0, "EXIT"},
  };
  for (const auto& c : cases) {
    auto sim = startSim(c.simAnswer);
    auto popup = createNative("nfyToast.Display");
    EXPECT_EQ(test::showPopup(*popup, "New messages", "Open your inbox", c.displaySeconds), c.closedBy)
        << c.simAnswer << " with display time " << c.displaySeconds;
  }
}

TEST_F(DesktopPopup, NotificationCarriesTextsActionsAndTimeout) {
  auto sim = startSim("click");
  auto popup = createNative("nfyToast.Display");
  // Shown twice on one object: the second show must not trip over the first.
  EXPECT_EQ(test::showPopup(*popup, "You have 2 new messages", "First line\r\nA < B & C", 10), "CLICK");
  // Text that is not UTF-8 cannot go over the bus as it is.
  EXPECT_EQ(test::showPopup(*popup, "Caf\xE9", "Please read", 0), "CLICK");
  EXPECT_EQ(box_.read("notes.txt"),
            "nfyDeskNotify\tYou have 2 new messages\tFirst line\\r\\nA < B & C\tdefault,Open\t10000\n"
            "nfyDeskNotify\tCaf\xEF\xBF\xBD\tPlease read\tdefault,Open,ok,OK\t0\n");
}

TEST_F(DesktopPopup, IgnoredNotificationIsClosedWhenTheDisplayTimeRunsOut) {
  auto sim = startSim("ignore");
  auto popup = createNative("nfyToast.Display");
  EXPECT_EQ(test::showPopup(*popup, "New messages", "Body", 1), "AUTOCLOSE");
}

TEST_F(DesktopPopup, NotificationServerGoingAwayEndsThePopup) {
  auto sim = startSim("ignore");
  auto popup = createNative("nfyToast.Display");
  // The message awaits confirmation (no expiry); the server quits while it is up.
  std::jthread quit([&] {
    for (int i = 0; i < 500 && !box_.exists("notes.txt"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sim->stop();
  });
  EXPECT_EQ(test::showPopup(*popup, "New messages", "Body", 0), "AUTOCLOSE");
}

TEST_F(DesktopPopup, ConnectionMadeAheadServesThePopupAndOneThatFailedIsTriedAgain) {
  test::NoTerminal noTerminal;
  auto sim = startSim("dismiss");
  {
    // A bus that cannot be reached when the run gets ready: nothing is
    // held, and asking then answers as without getting ready.
    test::ScopedEnv env("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + box_.path("no-bus")).c_str());
    prepare("nfyToast.Display");
    // The connection is kept for the process: after another test in the
    // same process, this one has nothing to show (ctest runs each alone).
    if (builtInAvailable("nfyToast.Display").value_or(true))
      GTEST_SKIP() << "a session bus connection is held from an earlier test";
  }
  // The bus is there by the time the popup is shown: connected anew.
  EXPECT_TRUE(builtInAvailable("nfyToast.Display").value_or(false));
  EXPECT_EQ(test::showPopup(*createNative("nfyToast.Display"), "New messages", "Body", 10), "EXIT");
}

TEST_F(DesktopPopup, NoNotificationServiceAndNoTerminalCannotCreate) {
  test::NoTerminal noTerminal;
  for (bool withBus : {true, false}) {
    // On the bus nobody owns the notification service; without the bus there is nothing at all.
    test::ScopedEnv env("DBUS_SESSION_BUS_ADDRESS", withBus ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : nullptr);
    try {
      createNative("nfyToast.Display");
      ADD_FAILURE() << "created " << (withBus ? "with" : "without") << " a bus";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::kCannotCreateObject);
    }
  }
}

}  // namespace
}  // namespace nfy::platform::component
