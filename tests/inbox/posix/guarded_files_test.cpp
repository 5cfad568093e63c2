// The files a write scope's guards replace (a message's body) are flushed
// with one flush of their folder, before the INI file that names them; when
// that flush fails, the INI file is left as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/globals.h"
#include "inbox/ini_access.h"
#include "inbox/ini_file.h"
#include "platform/file_ops.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

namespace fs = std::filesystem;

class GuardedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    inbox = test::startWithInbox(box);
    fs::create_directories(box.path("Messages"));
  }
  // One message as the store writes it: its section, and its body replaced
  // under the scope's lock by a guard that then runs `after`.
  void store(const std::string& id, const std::function<void()>& after = {}) {
    IniWriteScope scope(inbox);
    fncwriteToINI(id, "Subject", "Message " + id, inbox);
    scope.guard({[this, id, after](const IniDocument*, IniEdit*) {
                   platform::FileStamp st;
                   const bool written =
                       platform::replaceFileWith(box.path("Messages/" + id + ".dat"), "Body " + id, st, 0);
                   if (after) after();
                   return written;
                 },
                 {}});
  }
  test::Sandbox box;
  std::string inbox;
};

TEST_F(GuardedFiles, AFolderThatCannotBeFlushedLeavesTheFileAsItWasAndSaysWhy) {
  store("101");
  EXPECT_EQ(box.read("Messages/101.dat"), "Body 101");
  const std::string before = box.read("nfyDeskInbox_user.ini");
  ASSERT_NE(before.find("[101]"), std::string::npos);

  // The body's folder goes away after the body was written to it: its
  // flush cannot be done, and the file must not name a body that a power
  // cut could take.
  test::CapturedLog log(box);
  store("102", [&] { fs::remove_all(box.path("Messages")); });
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), before);
  ini::forgetCachedFiles();
  std::string subject;
  fncReadFromINI(subject, "102", "Subject", inbox);
  EXPECT_EQ(subject, "");
  bool told = false;
  for (const std::string& line : log.lines())
    told = told || line.rfind("ERR : The files written with " + inbox + " could not be flushed to the disk, ", 0) == 0;
  EXPECT_TRUE(told);
}

}  // namespace
}  // namespace nfy
