// The inbox, its body files, the log and the template in a folder that other
// users of the machine may write to: links and FIFOs planted there are never
// followed or waited on, and the files keep the modes they are given.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "app/globals.h"
#include "app/log.h"
#include "app/startup.h"
#include "base/errors.h"
#include "bridges/desk_template.h"
#include "inbox/body_file.h"
#include "inbox/ini_access.h"
#include "inbox/ini_file.h"
#include "lifecycle/expiry.h"
#include "support/fifo.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class SharedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    inbox = test::startWithInbox(box);
    setInboxCountsKept(false);  // the files as such, not the counts
    box.write("victim.txt", "precious");
    victim = box.path("victim.txt");
  }
  void TearDown() override {
    ini::setLockWait(5000);
    setInboxCountsKept(true);
  }
  test::Sandbox box;
  std::string inbox, victim;
};

TEST_F(SharedFolder, LinksAtTheInboxItsTemporaryFileABodyOrTheLogAreNeverWrittenThrough) {
  test::CapturedLog log(box);
  // The temporary name the store once used, and the inbox itself.
  fs::create_symlink(victim, inbox + ".tmp");
  fncwriteToINI("101", "Subject", "s", inbox);
  EXPECT_EQ(box.read("victim.txt"), "precious");
  EXPECT_TRUE(fs::is_symlink(inbox + ".tmp"));
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[101]\r\nSubject=s\r\n");
  fs::remove(inbox);
  fs::create_symlink(victim, inbox);
  fncwriteToINI("101", "Subject", "t", inbox);
  fncDeleteINISection("101", inbox);
  EXPECT_EQ(box.read("victim.txt"), "precious");

  box.mkdirs("Messages");
  sMsgFolder = box.path("Messages");
  fs::create_symlink(victim, box.path("Messages/101.dat"));
  subCreateMsgFile("101", "the body");
  EXPECT_EQ(box.read("victim.txt"), "precious");

  std::vector<std::string> lines = log.lines();
  std::vector<std::string> errors;
  for (const auto& l : lines) {
    if (l.rfind("ERR", 0) == 0) errors.push_back(l);
  }
  EXPECT_EQ(errors,
            (std::vector<std::string>{
                "ERR : Failed to write to the INI",
                "ERR : Failed to delete the section [101] from file " + inbox + ". ",
                "ERR : subCreateMsgFile, " + sMsgFolder + "/101.dat is not the user's own file; its text is not shown",
                "ERR : subCreateMsgFile, Permission denied",
            }));
  // Nor is a read of the inbox through a link.
  EXPECT_EQ(fncGetSectionNames(), "");

  closeLog();
  fs::create_symlink(victim, box.path("the-log.txt"));
  EXPECT_THROW(openLog(box.path("the-log.txt")), RuntimeError);
  EXPECT_EQ(box.read("victim.txt"), "precious");
  log.reopen();
}

TEST_F(SharedFolder, AFifoAtTheInboxABodyOrTheTemplateIsRefusedAtOnce) {
  test::CapturedLog log(box);
  ASSERT_TRUE(test::makeFifo(inbox));
  // A read refused is an error, never an empty value.
  bool raised = false;
  EXPECT_TRUE(test::endsWithoutWaitingOn(inbox, [&] {
    std::string value;
    try {
      fncReadFromINI(value, "101", "Subject", inbox);
    } catch (const RuntimeError&) {
      raised = true;
    }
  }));
  EXPECT_TRUE(raised);
  EXPECT_TRUE(test::endsWithoutWaitingOn(inbox, [&] { fncwriteToINI("101", "Subject", "s", inbox); }));

  box.mkdirs("Messages");
  sMsgFolder = box.path("Messages");
  ASSERT_TRUE(test::makeFifo(box.path("Messages/101.dat")));
  EXPECT_TRUE(test::endsWithoutWaitingOn(box.path("Messages/101.dat"), [] { subCreateMsgFile("101", "body"); }));

  const std::string templ = box.path("nfyDeskMenu.xml");
  ASSERT_TRUE(test::makeFifo(templ));
  bool parsed = true;
  EXPECT_TRUE(test::endsWithoutWaitingOn(templ, [&] { parsed = fncParseDeskTemplateXML(templ); }));
  EXPECT_FALSE(parsed);

  std::vector<std::string> lines = log.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ERR : Failed to write to the INI"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ERR : subCreateMsgFile, Permission denied"), lines.end());
  EXPECT_EQ(lines.back(), "ERR : Failed to load " + templ);
}

TEST_F(SharedFolder, NewPerUserFilesAreTheUsersOwnAndAReplacedInboxKeepsItsMode) {
  test::CapturedLog log(box);
  ::umask(022);
  fncwriteToINI("101", "Subject", "s", inbox);
  EXPECT_EQ(modeOf(inbox), 0600u);
  EXPECT_EQ(modeOf(inbox + ".lock"), 0600u);
  closeLog();
  openLog(box.path("new-log.txt"));
  EXPECT_EQ(modeOf(box.path("new-log.txt")), 0600u);
  closeLog();
  log.reopen();

  // Whatever mode the user gave the inbox stays.
  ASSERT_EQ(::chmod(inbox.c_str(), 0640), 0);
  fncwriteToINI("101", "Subject", "t", inbox);
  EXPECT_EQ(modeOf(inbox), 0640u);
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[101]\r\nSubject=t\r\n");
  // Body files are shared by the users of the machine.
  box.mkdirs("Messages");
  sMsgFolder = box.path("Messages");
  subCreateMsgFile("101", "body");
  EXPECT_EQ(modeOf(box.path("Messages/101.dat")), 0644u);
}

// Another user who makes the inbox, a body file or the log first (open to
// everyone) gets nothing the run writes: the inbox and body writes fail with
// their lines, the log goes to the next free name.
TEST_F(SharedFolder, FilesOfAnotherUserAreNeverWrittenIntoOrReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "handing a file to another user needs root";
  test::CapturedLog log(box);
  auto plant = [&](const std::string& name, const std::string& text) {
    box.write(name, text);
    ASSERT_EQ(::chown(box.path(name).c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(box.path(name).c_str(), 0666), 0);
  };
  plant("nfyDeskInbox_user.ini", "[101]\r\nMsgStatus=1\r\n");
  fncwriteToINI("101", "Subject", "secret", inbox);
  EXPECT_EQ(log.lines().back(), "ERR : Failed to write to the INI");
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[101]\r\nMsgStatus=1\r\n");
  EXPECT_EQ(modeOf(inbox), 0666u);

  box.mkdirs("Messages");
  sMsgFolder = box.path("Messages");
  plant("Messages/101.dat", "");
  subCreateMsgFile("101", "secret");
  EXPECT_EQ(log.lines().back(), "ERR : subCreateMsgFile, Permission denied");
  EXPECT_EQ(box.read("Messages/101.dat"), "");

  closeLog();
  const std::string daily = logFileName("nfyDeskNotify", "1234", "user", false);
  plant(daily, "");
  const std::string folder = fs::path(inbox).parent_path().string();
  openRunLog(folder + "/", "nfyDeskNotify", "1234", "user", false);
  subWriteLog("MSG : secret");
  closeLog();
  EXPECT_EQ(box.read(daily), "");
  std::string timed;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::string name = e.path().filename().string();
    if (name != daily && name.rfind("nfyDeskNotify_1234_", 0) == 0) timed = name;
  }
  EXPECT_NE(box.read(timed).find("MSG : secret"), std::string::npos) << timed;
  EXPECT_EQ(modeOf(box.path(timed)), 0600u);
  log.reopen();
}

// A newer copy that another user planted, or a link, is never the inbox
// that is read (it would have the run act on keys another user chose).
TEST_F(SharedFolder, TheInboxReadIsTheNewestOfTheUsersOwnRegularFiles) {
  test::CapturedLog log(box);
  fncwriteToINI("101", "Subject", "s", inbox);
  fs::last_write_time(inbox, fs::file_time_type::clock::now() - std::chrono::hours(1));
  box.write("victim.ini", "[101]\r\nMsgStatus=1\r\n");
  fs::create_symlink(box.path("victim.ini"), box.path("Copy of nfyDeskInbox_user.ini"));
  const std::string folder = fs::path(inbox).parent_path().string() + "/";
  EXPECT_EQ(ReadLatestINIFile(folder, "nfyDeskInbox_user.ini"), inbox);
  if (::geteuid() != 0) GTEST_SKIP() << "handing a file to another user needs root";
  box.write("nfyDeskInbox_user.ini.old.ini", "[101]\r\nMsgStatus=1\r\n");
  ASSERT_EQ(::chown(box.path("nfyDeskInbox_user.ini.old.ini").c_str(), 4242, 4242), 0);
  EXPECT_EQ(ReadLatestINIFile(folder, "nfyDeskInbox_user.ini"), inbox);
  // Nor is the per-user name when another user made it: no inbox is read.
  fs::remove(inbox);
  box.write("nfyDeskInbox_user.ini", "[101]\r\nMsgStatus=1\r\n");
  ASSERT_EQ(::chown(inbox.c_str(), 4242, 4242), 0);
  EXPECT_EQ(ReadLatestINIFile(folder, "nfyDeskInbox_user.ini"), "");
  EXPECT_EQ(log.lines().back(), "ERR : ReadLatestINIFile ::  70:Permission denied");
  // The user's own newer copy still wins.
  box.write("Backup nfyDeskInbox_user.ini", "[MsgCount]\r\n");
  EXPECT_EQ(ReadLatestINIFile(folder, "nfyDeskInbox_user.ini"), folder + "Backup nfyDeskInbox_user.ini");
}

TEST_F(SharedFolder, ALockFileOfAnotherUserOrOpenToOthersIsNotShared) {
  test::CapturedLog log(box);
  // A lock file others could open is made the user's own.
  box.write("nfyDeskInbox_user.ini.lock", "");
  ASSERT_EQ(::chmod(box.path("nfyDeskInbox_user.ini.lock").c_str(), 0666), 0);
  fncwriteToINI("101", "Subject", "s", inbox);
  EXPECT_EQ(modeOf(inbox + ".lock"), 0600u);
  if (::geteuid() != 0) GTEST_SKIP() << "handing a lock file to another user needs root";
  // Another user's lock file (they could hold it for ever) ends the write
  // with its failure line.
  ini::forgetCachedFiles();
  const std::string other = box.path("other.ini");
  box.write("other.ini.lock", "");
  ASSERT_EQ(::chown((other + ".lock").c_str(), 4242, 4242), 0);
  fncwriteToINI("101", "Subject", "s", other);
  EXPECT_FALSE(box.exists("other.ini"));
  EXPECT_EQ(log.lines().back(), "ERR : Failed to write to the INI");
}

// The owner is checked on the file that is opened, not when the folder was
// listed: another user's file put at the name afterwards is never acted on.
TEST_F(SharedFolder, AnInboxAnotherUserPutAtTheNameAfterItWasChosenIsNotRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make another user's file here";
  test::CapturedLog log(box);
  const std::string forged = "[MsgCount]\r\nTotalMsgs=2\r\n[101]\r\nMsgStatus=1\r\n[102]\r\nMsgStatus=1\r\n";
  box.write("nfyDeskInbox_user.ini", forged);
  ASSERT_EQ(::chown(inbox.c_str(), 65534, 65534), 0);
  fncDeleteExpiredMsgs();
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), forged);
  const auto lines = log.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ERR : fncGetSectionNames, Permission denied, reading " + inbox),
            lines.end());
  for (const std::string& l : lines) EXPECT_EQ(l.find("RECALLED"), std::string::npos) << l;
}

}  // namespace
}  // namespace nfy
