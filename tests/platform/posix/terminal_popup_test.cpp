// The Linux popup as a terminal dialog, on a pseudo-terminal.
#include "platform/posix/terminal_popup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "app/errors.h"
#include "child_process.h"
#include "platform/component.h"
#include "popup_fixture.h"

namespace nfy::platform::component {
namespace {

struct Dialog {
  std::string answer;
  std::string screen;  // what was written to the terminal, echoed input included
};

// Runs the popup with a pseudo-terminal as standard input and output; the
// user's keys are typed ahead.
Dialog runDialog(const std::string& keys, int32_t displaySeconds, const std::string& header = "New messages",
                 const std::string& body = "Open your inbox") {
  test::ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  if (!keys.empty() && write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
    throw std::runtime_error("cannot type ahead");
  Dialog d;
  {
    fflush(stdout);
    int savedIn = dup(STDIN_FILENO), savedOut = dup(STDOUT_FILENO);
    dup2(slave, STDIN_FILENO);
    dup2(slave, STDOUT_FILENO);
    try {
      auto popup = createNative("nfyToast.Display");
      d.answer = test::showPopup(*popup, header, body, displaySeconds);
    } catch (const RuntimeError& e) {
      d.answer = "error " + std::to_string(e.number());
    }
    dup2(savedIn, STDIN_FILENO);
    dup2(savedOut, STDOUT_FILENO);
    close(savedIn);
    close(savedOut);
  }
  close(slave);
  fcntl(master, F_SETFL, O_NONBLOCK);
  char buf[4096];
  ssize_t n;
  while ((n = read(master, buf, sizeof buf)) > 0) d.screen.append(buf, static_cast<size_t>(n));
  close(master);
  return d;
}

TEST(TerminalPopup, KeysChooseTheAnswer) {
  EXPECT_EQ(runDialog("\n", 10).answer, "CLICK");
  EXPECT_EQ(runDialog("o\n", 0).answer, "OKCLICK");
  EXPECT_EQ(runDialog(" X \n", 0).answer, "EXIT");
  // OK is offered only when the message awaits confirmation; "o" then just asks again.
  EXPECT_EQ(runDialog("o\nx\n", 10).answer, "EXIT");
  EXPECT_EQ(runDialog("\x04", 0).answer, "EXIT");  // end of input
}

TEST(TerminalPopup, ClosesByItselfWhenTheDisplayTimeRunsOut) { EXPECT_EQ(runDialog("", 1).answer, "AUTOCLOSE"); }

TEST(TerminalPopup, ShowsTheTextsWithoutTerminalControls) {
  Dialog d = runDialog("\n", 0, "News \x1b[2J here", "Line one\r\nLine\x07 two");
  EXPECT_EQ(d.answer, "CLICK");
  EXPECT_NE(d.screen.find("News ?[2J here"), std::string::npos) << d.screen;
  EXPECT_NE(d.screen.find("Line one"), std::string::npos) << d.screen;
  EXPECT_NE(d.screen.find("Line? two"), std::string::npos) << d.screen;
  EXPECT_EQ(d.screen.find('\x1b'), std::string::npos);
  EXPECT_NE(d.screen.find("[o] OK"), std::string::npos) << d.screen;
  EXPECT_EQ(runDialog("\n", 10).screen.find("[o] OK"), std::string::npos);
}

TEST(TerminalPopup, PropertiesAndMembers) {
  auto popup = createTerminalPopup();
  EXPECT_EQ(popup->get("ClosedBy").toString(), "");
  popup->put("transparencylevel", Value(int16_t{100}));
  EXPECT_EQ(popup->get("TransparencyLevel").toString(), "100");
  std::vector<Arg> none;
  for (auto attempt : {+[](Object&p, std::vector<Arg>&a) { p.call("Show", a); },
                       +[](Object&p, std::vector<Arg>&) { p.put("Colour", Value(int32_t{1})); },
                       +[](Object&p, std::vector<Arg>&) { p.get("Colour"); }}) {
    try {
      attempt(*popup, none);
      ADD_FAILURE() << "unknown member accepted";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::kNoSuchMember);
    }
  }
  // A display time that is no number fails before anything is shown.
  popup->put("DisplayTimeSeconds", Value("soon"));
  try {
    popup->call("Popup", none);
    ADD_FAILURE() << "shown with a display time of \"soon\"";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

}  // namespace
}  // namespace nfy::platform::component
