// Starting a program whose path holds blanks, written without quotes as the
// program's command lines are.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "app/globals.h"
#include "app/launch.h"
#include "base/errors.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

namespace fs = std::filesystem;

// What the stand-in viewer recorded beside itself; waits for it to start.
std::string viewerRecord(const test::Sandbox& box, const std::string& folder) {
  const std::string record = folder + "/viewer-started.txt";
  for (int i = 0; i < 400 && !box.exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it finish its line
  return box.exists(record) ? box.read(record) : "<not started>";
}

TEST(LaunchWithBlanks, TheViewerUnderAnInstallationFolderWithBlanksIsStarted) {
  test::resetAllGlobals();
  test::Sandbox box;
  box.mkdirs("VELT agent/nfyDesk");
  sInstallPath = box.path("VELT agent") + "/";
  const std::string viewer = sInstallPath + "nfyDesk/nfyInbox.exe";
  fs::copy_file(NFY_TEST_VIEWER, viewer);
  test::CapturedLog log(box);
  EXPECT_THROW(fncExecuteMsgInbox(), RunEnded);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : In fncExecuteMsgInbox",
                             "MSG : fncExecuteShell :: " + viewer,
                             "MSG : Successfully executed the " + viewer,
                             "MSG : Application Ended.",
                         }));
  EXPECT_EQ(viewerRecord(box, "VELT agent/nfyDesk"), "started\n");
  test::resetAllGlobals();
}

TEST(LaunchWithBlanks, ArgumentsFollowTheShortestPathThatNamesAFile) {
  test::Sandbox box;
  box.mkdirs("my apps/bin");
  const std::string program = box.path("my apps/bin/viewer");
  fs::copy_file(NFY_TEST_VIEWER, program);
  fncExecuteShell(program + " one  two", false);
  EXPECT_EQ(viewerRecord(box, "my apps/bin"), "started [one] [two]\n");
  // Nothing of that name: the failure is logged, nothing runs.
  test::CapturedLog log(box);
  fncExecuteShell(box.path("my apps/none") + " x", true);
  EXPECT_EQ(log.lines().back(), "ERR : fncExecuteShell, 53:File not found");
}

TEST(LaunchWithBlanks, TheWholeLineIsTriedFirstAndOnlyExecutableFilesCount) {
  test::Sandbox box;
  box.mkdirs("VELT agent/nfyDesk");
  const std::string viewer = box.path("VELT agent/nfyDesk/nfyInbox.exe");
  fs::copy_file(NFY_TEST_VIEWER, viewer);
  // A program planted where the first word ends does not run in its place.
  box.write("VELT", "#!/bin/sh\ntouch \"$0.ran\"\n");
  fs::permissions(box.path("VELT"), fs::perms::owner_all);
  fncExecuteShell(viewer, true);
  EXPECT_EQ(viewerRecord(box, "VELT agent/nfyDesk"), "started\n");
  EXPECT_FALSE(box.exists("VELT.ran"));
  // A plain file, not executable, named like the start of the path is
  // passed over, also when arguments follow.
  fs::remove(box.path("VELT agent/nfyDesk/viewer-started.txt"));
  fs::permissions(box.path("VELT"), fs::perms::owner_read | fs::perms::owner_write);
  fncExecuteShell(viewer + " one", true);
  EXPECT_EQ(viewerRecord(box, "VELT agent/nfyDesk"), "started [one]\n");
}

TEST(LaunchWithBlanks, AStartedProgramGetsNeitherTheLogNorAnyIgnoredOrBlockedSignal) {
  test::Sandbox box;
  test::CapturedLog log(box);
  const std::string out = box.path("child.txt");
  // What a run may have changed before it starts a program.
  auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &old);
  fncExecuteShell("/bin/sh -c \"ls -l /proc/self/fd/ >" + out + "; grep -E 'SigIgn|SigBlk' /proc/self/status >>" + out +
                      "; echo done >>" + out + "\"",
                  true);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  std::signal(SIGPIPE, oldPipe);
  for (int i = 0; i < 400 && box.read("child.txt").find("done") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string report = box.read("child.txt");
  ASSERT_NE(report.find("done"), std::string::npos) << report;
  EXPECT_EQ(report.find("captured-log"), std::string::npos) << report;
  // Hex masks of signal numbers; the shell ignores and blocks nothing of
  // its own at start. Signals 32 and 33 belong to the C library, which
  // keeps them out of every signal set a program can name.
  const unsigned long long libcOwn = 3ull << 31;
  for (const char* mask : {"SigIgn:", "SigBlk:"}) {
    size_t at = report.find(mask);
    ASSERT_NE(at, std::string::npos) << mask;
    EXPECT_EQ(std::stoull(report.substr(at + 7), nullptr, 16) & ~libcOwn, 0u) << report;
  }
}

}  // namespace
}  // namespace nfy
