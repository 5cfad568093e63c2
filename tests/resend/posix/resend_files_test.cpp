#include <sys/stat.h>
#include <unistd.h>

#include "../resend_test_support.h"

namespace nfy::test {
namespace {

// Only the user's own regular files are sent: a link (even to one of the
// user's reports), a FIFO, a folder and a file too large are left alone
// with a line each; another user's report is passed over without one.
TEST_F(ResendPass, SendsOnlyTheUsersOwnRegularFilesOfBoundedSize) {
  report("501", 6);
  box.write("elsewhere.xml", body("502"));
  ASSERT_EQ(::symlink(box.path("elsewhere.xml").c_str(), path(name("502")).c_str()), 0);
  ASSERT_EQ(::mkfifo(path(name("503")).c_str(), 0600), 0);
  box.mkdirs("DeskPostLogs/" + name("504"));
  file(name("505"), std::string(200, 'x'), 5);
  bool otherUser = ::geteuid() == 0;
  if (otherUser) {
    report("506", 7);
    ASSERT_EQ(::chown(path(name("506")).c_str(), 65534, 65534), 0);
  }
  resend::PassLimits limits;
  limits.maxBytes = 100;

  resend::PassOutcome out = pass(limits);

  EXPECT_EQ(postedBodies(), std::vector<std::string>{posted("501")});
  EXPECT_EQ(out.leftAlone, 4);
  EXPECT_EQ(linesWith(" is not a regular file; left alone"), 3u);
  EXPECT_EQ(linesWith(name("505") + " is larger than 100 bytes; left alone"), 1u);
  EXPECT_EQ(box.read("elsewhere.xml"), body("502"));
  for (const char* id : {"502", "503", "504", "505"})
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(path(name(id)))));
  if (otherUser) {
    EXPECT_TRUE(kept("506"));
    EXPECT_EQ(linesWith(name("506")), 0u);
  }
}

}  // namespace
}  // namespace nfy::test
