// The files a write scope's guards replace (a message's body) are flushed
// with one flush of their folder, before the INI file that names them; when
// that flush fails, the INI file is left as it was. The messages folder is
// looked at for leftovers of such replaces only after a body was written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/globals.h"
#include "inbox/body_file.h"
#include "inbox/ini_access.h"
#include "inbox/ini_file.h"
#include "inbox/leftovers.h"
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

TEST_F(GuardedFiles, TheMessagesFolderIsLookedAtForLeftoversOnlyWhenABodyWasWrittenSince) {
  sMsgFolder = box.path("Messages");
  const std::string mark = inbox + ".clean";
  auto plant = [&](const std::string& name) { std::ofstream(box.path("Messages/" + name)) << "half"; };
  auto planted = [&](const std::string& name) { return fs::exists(box.path("Messages/" + name)); };

  // The first look lists the folder and leaves the mark. Beside the inbox
  // it takes what replaces of the inbox and of its records left, nothing
  // else.
  plant("5.dat.tmp.abcdefghij");
  const char* const ours[] = {"nfyDeskInbox_user.ini.tmp.abcdefghij", "nfyDeskInbox_user.ini.staying.tmp.abcdefghij",
                              "nfyDeskInbox_user.ini.bodies.tmp.abcdefghij"};
  for (const char* name : ours) std::ofstream(box.path(name)) << "half";
  std::ofstream(box.path("nfyDeskInbox_other.ini.staying.tmp.abcdefghij")) << "half";
  removeReplaceLeftovers();
  EXPECT_FALSE(planted("5.dat.tmp.abcdefghij"));
  for (const char* name : ours) EXPECT_FALSE(fs::exists(box.path(name))) << name;
  EXPECT_TRUE(fs::exists(box.path("nfyDeskInbox_other.ini.staying.tmp.abcdefghij")));
  ASSERT_TRUE(fs::is_regular_file(mark));

  // While it stands, the folder is not listed.
  plant("6.dat.tmp.bcdefghijk");
  removeReplaceLeftovers();
  EXPECT_TRUE(planted("6.dat.tmp.bcdefghijk"));

  // A body written takes the mark away first: the next look lists again.
  ASSERT_TRUE(createMsgFile("7", "Body 7"));
  EXPECT_FALSE(fs::exists(mark));
  removeReplaceLeftovers();
  EXPECT_FALSE(planted("6.dat.tmp.bcdefghijk"));
  EXPECT_EQ(box.read("Messages/7.dat"), "Body 7");
  EXPECT_TRUE(fs::is_regular_file(mark));

  // A mark that is no file of the user's own is not trusted, nor replaced.
  fs::remove(mark);
  fs::create_symlink(box.path("elsewhere"), mark);
  plant("8.dat.tmp.cdefghijkl");
  removeReplaceLeftovers();
  EXPECT_FALSE(planted("8.dat.tmp.cdefghijkl"));
  EXPECT_TRUE(fs::is_symlink(mark));
  EXPECT_FALSE(fs::exists(box.path("elsewhere")));
}

}  // namespace
}  // namespace nfy
