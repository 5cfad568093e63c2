#include "viewer/inbox_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/globals.h"
#include "inbox/ini_file.h"
#include "inbox/run_summary.h"
#include "support/fake_components.h"
#include "support/sandbox.h"
#include "viewer/inbox_setup.h"

namespace nfy::test {
namespace {

using viewer::ConfirmResult;
using viewer::InboxModel;
namespace texts = viewer::texts;

// The inbox at the top of the sandbox: a lock file that the store keeps open
// in a folder below it would stop the sandbox's removal on Windows.
const char* const kInbox = "nfyDeskInbox_user1.ini";

class InboxModelTest : public ::testing::Test {
 protected:
  InboxModelTest() {
    resetAllGlobals();
    sInstallPath = sDataPath = box.dir();
    sUserName = "user1";
    sRegID = "1234", sSiteID = "55", sMemberID = "77", sType = "1";
    sMsgFolder = box.path("nfyDesk/DeskInbox/Messages");
    sInboxINI_Write = box.path(kInbox);
    box.mkdirs("nfyDesk/DeskInbox/Messages");
    box.write("Configuration/nfyEndpoints.ini", "[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:9/svc\r\n");
  }
  ~InboxModelTest() override { resetAllGlobals(); }

  void inbox(const std::string& text) { box.write(kInbox, text); }
  std::string key(const std::string& section, const char* name) {
    return ini::readValue(box.path(kInbox), section, name);
  }
  std::vector<std::string> ids() {
    std::vector<std::string> out;
    for (const auto& m : model.messages()) out.push_back(m.id);
    return out;
  }

  Sandbox box;
  CapturedLog log{box};
  FakeComponents fakes;
  InboxModel model;
};

const char* const kThree =
    "[MsgCount]\r\nTotalMsgs=3\r\nUnReadMsgs=2\r\nRequireUserConfirmation=2\r\nMSGId=102\r\nSubject=Second\r\n"
    "[101]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nSubject=First\r\nCreatedBy=Help desk\r\nReadStatus=READ\r\n"
    "RequireUserConfirmation=0\r\n"
    "[102]\r\nDownloadedMNTime=07/16/2017 08:00:00\r\nSubject=Second\r\nCreatedBy=Admin\r\nReadStatus=UnRead\r\n"
    "RequireUserConfirmation=1\r\n"
    "[103]\r\nDownloadedMNTime=not a time\r\nSubject=Third\r\nReadStatus=UnRead\r\nRequireUserConfirmation=1\r\n";

TEST_F(InboxModelTest, ListsMessagesNewestFirstWithTheirState) {
  inbox(kThree);
  EXPECT_TRUE(model.reload());
  // A time that cannot be read sorts last.
  EXPECT_EQ(ids(), (std::vector<std::string>{"102", "101", "103"}));
  const viewer::Message* m = model.find("102");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->subject, "Second");
  EXPECT_EQ(m->sender, "Admin");
  EXPECT_EQ(m->received, "07/16/2017 08:00:00");
  EXPECT_TRUE(m->unread);
  EXPECT_TRUE(m->awaitsConfirmation);
  EXPECT_FALSE(model.find("101")->unread);
  EXPECT_FALSE(model.find("101")->awaitsConfirmation);
  EXPECT_FALSE(model.reload()) << "nothing changed";
}

TEST_F(InboxModelTest, ShowsWhenEachMessageExpiresByTheRuleOfTheCleanUpPass) {
  inbox(
      "[MsgCount]\r\nTotalMsgs=6\r\n"
      "[1]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nCreatedBy=Help desk\r\nTimeToLive=0\r\nTimeToLiveHrs=36\r\n"
      "[2]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nTimeToLive=1\r\nTimeToLiveDays=1.6\r\n"
      "[3]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nTimeToLive=2\r\nTimeToLiveDate=2017-08-01 12:00\r\n"
      "[4]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nTimeToLive=0\r\nTimeToLiveHrs=0\r\n"
      "[5]\r\nTimeToLive=1\r\nTimeToLiveDays=3\r\n"
      "[6]\r\nDownloadedMNTime=07/15/2017 13:05:09\r\nTimeToLive=1\r\nTimeToLiveDays=99999999\r\n");
  ASSERT_TRUE(model.reload());
  EXPECT_EQ(model.find("1")->expires, "07/17/2017 01:05:09");
  EXPECT_EQ(model.find("2")->expires, "07/17/2017 13:05:09") << "a fraction counts as the nearest whole day";
  EXPECT_EQ(model.find("3")->expires, "08/01/2017 12:00:00");
  EXPECT_EQ(model.find("4")->expires, "") << "an amount of 0 never expires";
  EXPECT_EQ(model.find("5")->expires, "") << "not received: no moment yet";
  EXPECT_EQ(model.find("6")->expires, "") << "beyond the calendar (the pass logs it)";
  EXPECT_EQ(viewer::headerLine(*model.find("1"), " - "),
            "From Help desk - 07/15/2017 13:05:09 - Expires 07/17/2017 01:05:09");
  EXPECT_EQ(viewer::headerLine(*model.find("4"), " - "), "07/15/2017 13:05:09");
}

TEST_F(InboxModelTest, SameTimeShowsTheLaterStoredFirstAndSkipsSummaryAndRepeatedNames) {
  inbox(
      "[5]\r\nDownloadedMNTime=01/02/2020 10:00:00\r\n[6]\r\nDownloadedMNTime=01/02/2020 10:00:00\r\n"
      "[msgcount]\r\nTotalMsgs=2\r\n[5]\r\nSubject=again\r\n");
  model.reload();
  EXPECT_EQ(ids(), (std::vector<std::string>{"6", "5"}));
}

TEST_F(InboxModelTest, InboxThatCannotBeReadShowsNothingAndIsNeverWritten) {
  model.reload();
  EXPECT_TRUE(model.messages().empty()) << "no inbox file";
  EXPECT_FALSE(box.exists(kInbox));

  // UTF-16 with its byte order mark: the store does not take it.
  std::string utf16("\xFF\xFE", 2);
  for (char c : std::string("[7]\r\nSubject=x\r\nReadStatus=UnRead\r\n")) utf16 += std::string{c, '\0'};
  inbox(utf16);
  model.reload();
  EXPECT_TRUE(model.messages().empty());
  EXPECT_FALSE(model.markRead("7"));
  EXPECT_EQ(box.read(kInbox), utf16);

  inbox("garbage\x01\x02 without sections\r\n[");
  model.reload();
  EXPECT_TRUE(model.messages().empty());
}

TEST_F(InboxModelTest, OpeningMarksReadOnceAndCountsDown) {
  inbox(kThree);
  model.reload();
  ASSERT_TRUE(model.markRead("102"));
  EXPECT_EQ(key("102", "ReadStatus"), "READ");
  EXPECT_EQ(key("102", "DisplayedToUser"), "user1");
  EXPECT_EQ(key("102", "DisplayedToUserMNTime").size(), 19u);
  EXPECT_EQ(key("MsgCount", "UNREADMsgs"), "1");
  EXPECT_NE(box.read(kInbox).find("UnReadMsgs=1"), std::string::npos) << "the key keeps its spelling";
  EXPECT_FALSE(model.find("102")->unread);

  // Opening it again, or a message already read, changes nothing.
  std::string before = box.read(kInbox);
  EXPECT_TRUE(model.markRead("102"));
  EXPECT_TRUE(model.markRead("101"));
  EXPECT_EQ(box.read(kInbox), before);

  // A message removed meanwhile is not brought back as a stub.
  EXPECT_TRUE(model.markRead("999"));
  EXPECT_EQ(key("999", "ReadStatus"), "");
  EXPECT_EQ(box.read(kInbox), before);
}

TEST_F(InboxModelTest, UnreadCountIsTheSectionsAfterwardsWhateverItWasBefore) {
  for (auto [stored, expected] : {std::pair{"0", "0"}, {"", "0"}, {"abc", "0"}, {" 3 items", "0"}, {"-2", "0"}}) {
    inbox(std::string("[MsgCount]\r\nUNREADMsgs=") + stored + "\r\n[8]\r\nReadStatus=UnRead\r\n");
    model.reload();
    ASSERT_TRUE(model.markRead("8"));
    EXPECT_EQ(key("MsgCount", "UNREADMsgs"), expected) << "stored [" << stored << "]";
  }
}

TEST_F(InboxModelTest, BodyShowsCrAsLineBreaksAndSaysWhyWhenThereIsNone) {
  box.write("nfyDesk/DeskInbox/Messages/101.dat", "Line one\rLine two\r\nLine three");
  EXPECT_EQ(model.body("101"), "Line one\nLine two\nLine three");
  box.write("nfyDesk/DeskInbox/Messages/102.dat", "");
  EXPECT_EQ(model.body("102"), "");
  EXPECT_EQ(model.body("103"), texts::kNoBody);
  box.write("nfyDesk/DeskInbox/Messages/104.dat", std::string("MZ\0\0\x90\x01\x02", 7));
  EXPECT_EQ(model.body("104"), texts::kNotText);
  // An id that is a path never reaches outside the folder.
  box.write("nfyDesk/DeskInbox/secret.dat", "not for the viewer");
  EXPECT_EQ(model.body("../secret"), texts::kNoBody);
  EXPECT_EQ(model.body("..\\secret"), texts::kNoBody);

  std::string huge(3 << 20, 'x');
  box.write("nfyDesk/DeskInbox/Messages/105.dat", huge);
  std::string shown = model.body("105");
  EXPECT_LT(shown.size(), huge.size());
  EXPECT_NE(shown.find(texts::kCut), std::string::npos);
}

TEST(InboxFileNames, OnlyPlainNamesAreSafe) {
  for (const char* good : {"101", "abc-12_x", "a.b"}) EXPECT_TRUE(viewer::isSafeFileName(good)) << good;
  for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "c:x", "a*", "x.", " x", "a\tb", "a|b"}) {
    EXPECT_FALSE(viewer::isSafeFileName(bad)) << bad;
  }
  EXPECT_FALSE(viewer::isSafeFileName(std::string(201, 'a')));
}

TEST_F(InboxModelTest, ConfirmPostsAndOnlyThenCountsDown) {
  inbox(kThree);
  model.reload();
  EXPECT_EQ(model.confirm("102"), ConfirmResult::Confirmed);
  ASSERT_EQ(fakes.poster.posts.size(), 1u);
  EXPECT_EQ(fakes.poster.posts[0].url,
            "http://127.0.0.1:9/svc/tfr_wpdcmupdateusrstatus.asp?mmid=77&sid=55&rid=1234&rty=1");
  EXPECT_EQ(fakes.poster.posts[0].data,
            "<wpdcmupdateusrstatus><mmid>77</mmid><regid>1234</regid><msgid>102</msgid><usrstatus>1</usrstatus>"
            "</wpdcmupdateusrstatus>");
  EXPECT_EQ(sConfirmMsgID, "102");
  EXPECT_EQ(key("MsgCount", "RequireUserConfirmation"), "1");
  // The confirmed message awaits nothing any more; the index names the next.
  EXPECT_EQ(key("102", "RequireUserConfirmation"), "0");
  EXPECT_EQ(key("MsgCount", "MSGId"), "103");
  model.reload();
  EXPECT_FALSE(model.find("102")->awaitsConfirmation);
}

TEST_F(InboxModelTest, FailedPostChangesNothingAndOnlyAwaitedMessagesAreConfirmed) {
  inbox(kThree);
  model.reload();
  fakes.poster.succeed = false;
  std::string before = box.read(kInbox);
  EXPECT_EQ(model.confirm("102"), ConfirmResult::NotSent);
  EXPECT_EQ(box.read(kInbox), before);
  EXPECT_EQ(sConfirmMsgID, "");

  fakes.poster.succeed = true;
  EXPECT_EQ(model.confirm("101"), ConfirmResult::NotAwaiting);
  EXPECT_EQ(model.confirm("555"), ConfirmResult::NotAwaiting);
  EXPECT_EQ(fakes.poster.posts.size(), 1u) << "only the failed post was made";
  EXPECT_EQ(box.read(kInbox), before);
}

TEST_F(InboxModelTest, FollowsChangesThatAnotherWriterMakes) {
  inbox(kThree);
  model.reload();
  // The notifier stores a new message and deletes one while the window is open.
  ASSERT_EQ(ini::writeValue(box.path(kInbox), "104", "DownloadedMNTime", "12/31/2030 23:59:59"), ini::Outcome::Ok);
  ASSERT_EQ(ini::writeValue(box.path(kInbox), "104", "Subject", "Newest"), ini::Outcome::Ok);
  ASSERT_EQ(ini::deleteSection(box.path(kInbox), "101"), ini::Outcome::Ok);
  EXPECT_TRUE(model.reload());
  EXPECT_EQ(ids(), (std::vector<std::string>{"104", "102", "103"}));
  EXPECT_TRUE(model.find("104")->unread);

  // A newer copy of the inbox beside it is what is read from then on.
  box.write("Copy of nfyDeskInbox_user1.ini", "[900]\r\nSubject=From the copy\r\n");
  std::filesystem::last_write_time(box.path("Copy of nfyDeskInbox_user1.ini"),
                                   std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
  ASSERT_TRUE(model.reload());
  EXPECT_EQ(ids(), (std::vector<std::string>{"900"}));
}

TEST_F(InboxModelTest, TitleIsTheTemplatesUnlessDefaultOrBlank) {
  sInboxTitle = "  Notes from IT  ";
  EXPECT_EQ(viewer::windowTitle(), "Notes from IT");
  sInboxTitle = "you have new messages from your service provider for your reference. click for view all messages.";
  EXPECT_EQ(viewer::windowTitle(), "Messages");
  sInboxTitle = " ";
  EXPECT_EQ(viewer::windowTitle(), "Messages");
}

}  // namespace
}  // namespace nfy::test
