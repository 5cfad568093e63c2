// Starting a program whose path holds blanks, written without quotes as the
// program's command lines are.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/errors.h"
#include "app/globals.h"
#include "app/launch.h"
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

}  // namespace
}  // namespace nfy
