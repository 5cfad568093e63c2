// Starting programs, the inbox viewer, registration, and system error texts.
#include "app/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/error_text.h"
#include "app/globals.h"
#include "app/paths.h"
#include "base/errors.h"
#include "platform/system_testing.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

namespace fs = std::filesystem;

struct ShownBox {
  std::string text, title;
  unsigned style = 0;
};

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sAppTitle = "Zorira rorazevarazu";
    sInstallPath = box.dir();
    box.mkdirs("nfyDesk");
    platform::setMessageBoxForTesting([this](const std::string& text, const std::string& title, unsigned style) {
      shown.push_back({text, title, style});
    });
  }
  void TearDown() override {
    platform::setMessageBoxForTesting(nullptr);
    test::resetAllGlobals();
  }

  // Copies the stand-in viewer into the sandbox under `relative`.
  std::string installViewer(const std::string& relative) {
    std::string target = box.path(relative);
    fs::copy_file(NFY_TEST_VIEWER, target, fs::copy_options::overwrite_existing);
    return target;
  }

  // What the stand-in viewer recorded beside itself; waits for it to start.
  std::string viewerRecord(const std::string& folder) {
    for (int i = 0; i < 400 && !box.exists(folder + "/viewer-started.txt"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it finish its line
    return box.exists(folder + "/viewer-started.txt") ? box.read(folder + "/viewer-started.txt") : "<not started>";
  }

  test::Sandbox box;
  std::vector<ShownBox> shown;
};

TEST_F(Launch, ExecuteShellStartsAProgramOrLogsTheFailure) {
  test::CapturedLog log(box);
  box.mkdirs("bin");
  std::string program = installViewer(paths::p("bin\\viewer.exe"));
  fncExecuteShell(program + " one two", false);
  EXPECT_EQ(viewerRecord("bin"), "started [one] [two]\n");

  std::string missing = box.path(paths::p("bin\\no-such-program.exe"));
  fncExecuteShell(missing, true);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : fncExecuteShell :: " + program + " one two",
                             "MSG : Successfully executed the " + program + " one two",
                             "MSG : fncExecuteShell :: " + missing,
                             "ERR : fncExecuteShell, 53:File not found",
                         }));
}

TEST_F(Launch, TheViewerIsStartedWithoutArgumentsAndTheRunEnds) {
  test::CapturedLog log(box);
  std::string viewer = installViewer(paths::p("nfyDesk\\nfyInbox.exe"));
  EXPECT_THROW(fncExecuteMsgInbox(), RunEnded);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : In fncExecuteMsgInbox",
                             "MSG : fncExecuteShell :: " + viewer,
                             "MSG : Successfully executed the " + viewer,
                             "MSG : Application Ended.",
                         }));
  EXPECT_EQ(viewerRecord("nfyDesk"), "started\n");
  EXPECT_TRUE(shown.empty());
}

TEST_F(Launch, AMissingViewerIsToldInAMessageBoxAndTheRunEnds) {
  test::CapturedLog log(box);
  EXPECT_THROW(fncExecuteMsgInbox(), RunEnded);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : In fncExecuteMsgInbox",
                             "ERR : " + sInstallPath + paths::p("nfyDesk\\nfyInbox.exe") + " is missing.",
                             "MSG : Application Ended.",
                         }));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "CC Components for Inbox is missing. Please contact Helpvance.");
  EXPECT_EQ(shown[0].title, "Zorira rorazevarazu");
  EXPECT_EQ(shown[0].style, 16u);
}

TEST_F(Launch, RegisterDllKeepsItsLinesForAPathWithBlanks) {
  test::CapturedLog log(box);
  std::string control = box.path(paths::p("nfyDesk\\with blank\\nfyBrowser.ocx"));
  fncRegisterDLL(control);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"MSG : In fncRegisterDLL, " + control, "Registered Dll : " + control}));
}

TEST(FormatMessage, GivesTheCodeAndTheSystemTextWithoutLineBreak) {
  std::string known = fncFormatMessage(2);
  ASSERT_EQ(known.rfind("2-", 0), 0u) << known;
  EXPECT_GT(known.size(), 4u);
  EXPECT_EQ(known.find_first_of("\r\n"), std::string::npos) << known;
  EXPECT_EQ(fncFormatMessage(5).rfind("5-", 0), 0u);
  EXPECT_EQ(fncFormatMessage(259).rfind("259-", 0), 0u);
  EXPECT_EQ(fncFormatMessage(0x2000ABCD), std::to_string(0x2000ABCD));
  EXPECT_EQ(fncFormatMessage(-5), "-5");
}

}  // namespace
}  // namespace nfy
