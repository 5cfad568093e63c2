// The viewer's reads of body files in a folder that other users may write:
// a link is never followed and a FIFO never waited on.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/globals.h"
#include "support/fifo.h"
#include "support/sandbox.h"
#include "viewer/inbox_model.h"

namespace nfy::test {
namespace {

TEST(ViewerBodyFile, ALinkOrAFifoAtABodyFileIsNotShown) {
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
  resetAllGlobals();
}

}  // namespace
}  // namespace nfy::test
