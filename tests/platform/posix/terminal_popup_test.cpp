// The Linux popup as a terminal dialog, on a pseudo-terminal.
#include "platform/posix/terminal_popup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "base/errors.h"
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

// C1 controls (as UTF-8 or as lone bytes, which a terminal may read as
// C1) are dropped like C0 ones; other characters, "€" among them, whose
// UTF-8 holds bytes 0x80 to 0x9F, stay.
TEST(TerminalPopup, DropsC1ControlsJudgedOnTheDecodedText) {
  Dialog d = runDialog("\n", 0,
                       "A\xC2\x9B"
                       "2J B\x9B"
                       "2J C\xC2\x85",
                       "\xE2\x82\xAC 5 caf\xC3\xA9 \xC0\x9B \xED\xA0\x80");
  EXPECT_EQ(d.answer, "CLICK");
  EXPECT_NE(d.screen.find("A?2J B?2J C?"), std::string::npos) << d.screen;
  EXPECT_NE(d.screen.find("\xE2\x82\xAC 5 caf\xC3\xA9 ?? ???"), std::string::npos) << d.screen;
  for (unsigned char c = 0x80; c <= 0x9F; ++c) {
    size_t at = d.screen.find(static_cast<char>(c));
    // The only byte of that range left is the one inside the euro sign.
    EXPECT_TRUE(at == std::string::npos || (c == 0x82 && d.screen.compare(at - 1, 3, "\xE2\x82\xAC") == 0)) << int(c);
  }
}

// A background job must not use its controlling terminal: reading it would
// stop the process for ever. The check runs in a child that has the
// pseudo-terminal as its controlling terminal, in a background group.
TEST(TerminalPopup, ABackgroundJobDoesNotUseTheTerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(write(master, "\n", 1), 1);
  fflush(stdout);
  pid_t leader = fork();
  ASSERT_GE(leader, 0);
  if (leader == 0) {
    // The session leader owns the terminal; the job runs in another group.
    if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(10);
    pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      dup2(slave, STDIN_FILENO);
      dup2(slave, STDOUT_FILENO);
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      if (terminalAttached()) _exit(11);
      try {
        createNative("nfyToast.Display");
        _exit(12);
      } catch (const RuntimeError& e) {
        if (e.number() != err::kCannotCreateObject) _exit(13);
      }
      // The dialog itself, should the job be sent to the background while
      // it runs: the typed Enter cannot be read, the answer is "EXIT".
      auto popup = createTerminalPopup();
      _exit(test::showPopup(*popup, "h", "b", 0) == "EXIT" ? 0 : 14);
    }
    int status = 0;
    if (job < 0 || waitpid(job, &status, 0) != job) _exit(15);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 16);
  }
  close(slave);
  int status = 0;
  for (int i = 0; i < 200 && waitpid(leader, &status, WNOHANG) == 0; ++i) usleep(50000);
  if (waitpid(leader, &status, WNOHANG) == 0) {
    kill(leader, SIGKILL);  // the job, stopped, ends with its orphaned group
    waitpid(leader, &status, 0);
    ADD_FAILURE() << "the background job was stopped";
  } else {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "exit " << WEXITSTATUS(status);
  }
  close(master);
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
