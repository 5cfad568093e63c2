// The viewer's reads of body files in a folder that other users may write:
// a link is never followed, a FIFO never waited on, and a file another user
// put at a message's name never shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/globals.h"
#include "support/fifo.h"
#include "support/sandbox.h"
#include "viewer/inbox_model.h"

namespace nfy::test {
namespace {

TEST(ViewerBodyFile, ALinkAFifoOrAnotherUsersFileAtABodyFileIsNotShown) {
  Sandbox box;
  resetAllGlobals();
  sMsgFolder = box.path("Messages");
  box.mkdirs("Messages");
  box.write("secret.txt", "another user's secret");
  ASSERT_EQ(::symlink(box.path("secret.txt").c_str(), box.path("Messages/201.dat").c_str()), 0);
  ASSERT_TRUE(makeFifo(box.path("Messages/202.dat")));

  viewer::InboxModel model;
  EXPECT_EQ(model.body("201"), viewer::texts::kNotText);
  std::string shown;
  EXPECT_TRUE(endsWithoutWaitingOn(box.path("Messages/202.dat"), [&] { shown = model.body("202"); }));
  EXPECT_EQ(shown, viewer::texts::kNotText);

  // Ids are easy to guess: another user may write 203.dat before the
  // service sends message 203 (only root can make such a file here).
  box.write("Messages/203.dat", "forged text");
  if (::geteuid() == 0 && ::chown(box.path("Messages/203.dat").c_str(), 65534, 65534) == 0) {
    EXPECT_EQ(model.body("203"), viewer::texts::kNotText);
  }
  box.write("Messages/204.dat", "own text");
  EXPECT_EQ(model.body("204"), "own text");
  resetAllGlobals();
}

}  // namespace
}  // namespace nfy::test
