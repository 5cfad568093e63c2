// Write scopes of the INI store: several changes, one replace of the file.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/globals.h"
#include "base/digest.h"
#include "inbox/ini_access.h"
#include "inbox/ini_file.h"
#include "platform/file_ops.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

class IniScope : public ::testing::Test {
 protected:
  void SetUp() override {
    inbox = test::startWithInbox(box);
    // The INI procedures as such: the inbox's count rule is tested apart.
    setInboxCountsKept(false);
  }
  void TearDown() override {
    ini::setLockWait(5000);
    setInboxCountsKept(true);
  }
  std::string get(const std::string& section, const std::string& key) {
    std::string v;
    fncReadFromINI(v, section, key, inbox);
    return v;
  }
  // The same changes, one by one or in a scope.
  void changes() {
    fncwriteToINI("MsgCount", "TotalMsgs", "1", inbox);
    fncwriteToINI("101", "Subject", "First", inbox);
    fncwriteToINI("102", "Subject", "Second", inbox);
    fncwriteToINI("msgcount", "totalmsgs", "2", inbox);
    fncDeleteINISection("101", inbox);
    fncwriteToINI("103", "Subject", "Third", inbox);
  }
  test::Sandbox box;
  std::string inbox;
};

TEST_F(IniScope, ReadsInsideSeeTheScopesWritesAndTheFileIsWrittenOnceAtTheEnd) {
  box.write("nfyDeskInbox_user.ini", "[MsgCount]\r\nTotalMsgs=0\r\n");
  changes();
  const std::string oneByOne = box.read("nfyDeskInbox_user.ini");

  box.write("nfyDeskInbox_user.ini", "[MsgCount]\r\nTotalMsgs=0\r\n");
  ini::forgetCachedFiles();
  test::CapturedLog log(box);
  {
    IniWriteScope scope(inbox);
    changes();
    {
      IniWriteScope inner(inbox);  // nested: the outer one writes
      fncwriteToINI("104", "Subject", "Fourth", inbox);
    }
    EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[MsgCount]\r\nTotalMsgs=0\r\n");
    EXPECT_EQ(get("MsgCount", "TotalMsgs"), "2");
    EXPECT_EQ(get("101", "Subject"), "");
    EXPECT_EQ(fncGetSectionNames(), "102,103,104");
    fncDeleteINISection("104", inbox);
  }
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), oneByOne);
  EXPECT_EQ(oneByOne, "[MsgCount]\r\nTotalMsgs=2\r\n[102]\r\nSubject=Second\r\n[103]\r\nSubject=Third\r\n");
  // The log lines of every call, in their order, and no error.
  std::vector<std::string> lines = log.lines();
  EXPECT_EQ(lines.front(), "MSG : Writing [MsgCount] TotalMsgs=1 to file " + inbox);
  EXPECT_EQ(lines.back(), "MSG : Deleting [104] from file " + inbox);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("ERR", 0) == 0; }), 0);
}

TEST_F(IniScope, ChangesOfAnotherProgramMeanwhileAreKept) {
  box.write("nfyDeskInbox_user.ini", "[MsgCount]\r\nTotalMsgs=1\r\n[101]\r\nSubject=Old\r\n");
  {
    IniWriteScope scope(inbox);
    fncwriteToINI("MsgCount", "TotalMsgs", "2", inbox);
    fncwriteToINI("102", "Subject", "New", inbox);
    fncDeleteINISection("101", inbox);
    // The viewer marks a message read and adds a key of the summary.
    box.write("nfyDeskInbox_user.ini",
              "[MsgCount]\r\nTotalMsgs=1\r\nViewerKey=1\r\n[101]\r\nSubject=Old\r\n[100]\r\nReadStatus=Read\r\n");
  }
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"),
            "[MsgCount]\r\nTotalMsgs=2\r\nViewerKey=1\r\n[100]\r\nReadStatus=Read\r\n[102]\r\nSubject=New\r\n");
}

TEST_F(IniScope, UnderAReadSnapshotReadsKeepTheFirstLookButEveryChangeStartsFromTheDisk) {
  box.write("nfyDeskInbox_user.ini", "[101]\r\nReadStatus=UnRead\r\n");
  {
    ini::ReadSnapshot pass(inbox);
    EXPECT_EQ(get("101", "ReadStatus"), "UnRead");
    box.write("nfyDeskInbox_user.ini", "[101]\r\nReadStatus=Read\r\n[102]\r\nSubject=Viewer\r\n");
    EXPECT_EQ(get("101", "ReadStatus"), "UnRead");  // as first looked at
    // A single write and a scope both keep what the other program wrote.
    fncwriteToINI("103", "Subject", "One", inbox);
    EXPECT_EQ(get("102", "Subject"), "Viewer");  // our own write shows the disk's state
    box.write("nfyDeskInbox_user.ini", box.read("nfyDeskInbox_user.ini") + "[104]\r\nSubject=Later\r\n");
    {
      IniWriteScope scope(inbox);
      fncwriteToINI("105", "Subject", "Two", inbox);
    }
  }
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"),
            "[101]\r\nReadStatus=Read\r\n[102]\r\nSubject=Viewer\r\n[103]\r\nSubject=One\r\n"
            "[104]\r\nSubject=Later\r\n[105]\r\nSubject=Two\r\n");
  // The snapshot over, reads look at the disk again.
  box.write("nfyDeskInbox_user.ini", "[101]\r\nReadStatus=Gone\r\n");
  EXPECT_EQ(get("101", "ReadStatus"), "Gone");
}

TEST_F(IniScope, ACommitThatCannotTakeTheLockKeepsTheOldFileAndLogsEveryLostChange) {
  box.write("nfyDeskInbox_user.ini", "[101]\r\nSubject=Old\r\n");
  const std::string before = box.read("nfyDeskInbox_user.ini");
  test::CapturedLog log(box);
  ini::setLockWait(50);
  platform::FileLock other;
  ASSERT_TRUE(other.open(inbox + ".lock") && other.lock(0));
  {
    IniWriteScope scope(inbox);
    fncwriteToINI("102", "Subject", "New", inbox);
    fncwriteToINI("102", "Subject", "New", inbox);  // no change: nothing to lose
    fncDeleteINISection("101", inbox);
    fncwriteToINI("103", "Subject", "Newer", inbox);
  }
  other.unlock();
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), before);
  EXPECT_EQ(get("102", "Subject"), "");
  std::vector<std::string> errors;
  for (const auto& l : log.lines()) {
    if (l.rfind("ERR", 0) == 0) errors.push_back(l);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to delete the section [101] from file " + inbox + ". ",
                        "ERR : Failed to write to the INI",
                    }));
}

// Counts that were true when a scope began are carried on when its changes
// only add sections (and set keys the counts do not read): shown with an
// inbox whose wrong counts are trusted as an earlier run's. Any other
// change counts the sections again.
TEST_F(IniScope, TheCountsOfAnInboxThatOnlyGainsSectionsAreCarriedOn) {
  setInboxCountsKept(true);
  const std::string text =
      "[MsgCount]\r\nTotalMsgs=7\r\nUNREADMsgs=0\r\nRequireUserConfirmation=0\r\n"
      "[1]\r\nReadStatus=READ\r\n[2]\r\nReadStatus=READ\r\n";
  box.write("nfyDeskInbox_user.ini", text);
  trustInboxCountsOf(contentDigest(text));
  ASSERT_EQ(iniUpdate(inbox, [](IniEdit&) {}), IniOutcome::Ok);  // taken as true: not counted
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), text);
  {
    IniWriteScope scope(inbox);
    fncwriteToINI("3", "ReadStatus", "UnRead", inbox);
    fncwriteToINI("3", "RequireUserConfirmation", "1", inbox);
    fncwriteToINI("4", "Subject", "Four", inbox);
    fncwriteToINI("1", "Subject", "One", inbox);  // not read by the counts
  }
  EXPECT_EQ(get("MsgCount", "TotalMsgs"), "9");
  EXPECT_EQ(get("MsgCount", "UNREADMsgs"), "2");
  EXPECT_EQ(get("MsgCount", "RequireUserConfirmation"), "1");
  {
    IniWriteScope scope(inbox);
    fncwriteToINI("5", "ReadStatus", "READ", inbox);
    fncwriteToINI("2", "ReadStatus", "UnRead", inbox);  // a read mark taken back
  }
  EXPECT_EQ(get("MsgCount", "TotalMsgs"), "5");
  EXPECT_EQ(get("MsgCount", "UNREADMsgs"), "3");
  EXPECT_EQ(get("MsgCount", "RequireUserConfirmation"), "1");
}

// A scope whose values end where they began (a default set and replaced by
// what was there) leaves the file as it is; one that changes a value on the
// way writes it.
TEST_F(IniScope, ValuesSetAndSetBackWriteNothingButAnyChangeLeftIsWritten) {
  setInboxCountsKept(true);
  const std::string text =
      "[MsgCount]\r\nTotalMsgs=1\r\nUNREADMsgs=1\r\nRequireUserConfirmation=0\r\nMSGId=\r\n"
      "[1]\r\nSubject=One\r\nReadStatus=UnRead\r\n";
  box.write("nfyDeskInbox_user.ini", text);
  trustInboxCountsOf(contentDigest(text));
  ASSERT_EQ(iniUpdate(inbox, [](IniEdit&) {}), IniOutcome::Ok);
  const platform::FileStamp found = platform::fileStamp(inbox);
  auto setAndSetBack = [&] {
    fncwriteToINI("MsgCount", "MSGId", "0", inbox);
    fncwriteToINI("1", "Subject", "Changed", inbox);
    fncwriteToINI("MsgCount", "MSGId", "", inbox);
  };
  {
    IniWriteScope scope(inbox);
    setAndSetBack();
    fncwriteToINI("1", "subject", "One", inbox);
  }
  EXPECT_EQ(platform::fileStamp(inbox), found);
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), text);
  {
    IniWriteScope scope(inbox);
    setAndSetBack();
  }
  EXPECT_NE(platform::fileStamp(inbox), found);
  EXPECT_EQ(get("1", "Subject"), "Changed");
  EXPECT_EQ(get("MsgCount", "MSGId"), "");
}

}  // namespace
}  // namespace nfy
