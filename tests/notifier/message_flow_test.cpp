#include "notifier/message_flow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/globals.h"
#include "app/paths.h"
#include "base/errors.h"
#include "bridges/desk_template.h"
#include "inbox/ini_access.h"
#include "platform/system.h"
#include "support/fake_components.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

const char* kDefaultTitle =
    "You have new messages from your service provider for your reference. Click for view all messages.";

std::string reply(const std::string& messages) { return "<dcmgetmsgstatus>" + messages + "</dcmgetmsgstatus>"; }
std::string message(const std::string& id, const std::string& status, const std::string& confirm = "false") {
  return "<message><id>" + id + "</id><subject>S" + id + "</subject><requsrconfirm>" + confirm +
         "</requsrconfirm><status>" + status + "</status></message>";
}

class MessageFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInstallPath = box.dir();
    sDataPath = box.dir();
    sMsgFolder = box.path("Messages");
    box.mkdirs("Messages");
    box.mkdirs("nfyDesk");
    sInboxINI_Write = sInboxINI_Read = box.path("inbox.ini");
    sRegID = "1234", sSiteID = "55", sMemberID = "77", sType = "1", sUserName = "user1";
    sInboxTitle = kDefaultTitle;
    sPopupMessage = "Body text";
    endpoint("http://127.0.0.1:9/svc");
    // The inbox viewer: a test program that records its start beside itself.
    std::filesystem::copy_file(
        std::string(NFY_TEST_BINARY_DIR) + "/tools/test-viewer/test-viewer" + platform::kExeSuffix,
        box.path("nfyDesk/nfyInbox.exe"));
  }
  void TearDown() override { test::resetAllGlobals(); }

  void endpoint(const std::string& url) {
    box.write("Configuration/nfyEndpoints.ini", "[wpdcmgetmsgs]\r\nURL=" + url + "\r\n");
  }
  std::string ini(const std::string& section, const std::string& key) {
    std::string v;
    fncReadFromINI(v, section, key, sInboxINI_Read);
    return v;
  }
  void summary(const std::string& total, const std::string& unread, const std::string& pending = "0",
               const std::string& msgId = "0") {
    // The counts follow the sections: stored messages 9001 ... of which the
    // first are unread and the first `pending` await confirmation.
    IniWriteScope scope(sInboxINI_Write);
    for (const std::string& name : iniSectionNames(sInboxINI_Write)) {
      if (name.rfind("90", 0) == 0) fncDeleteINISection(name, sInboxINI_Write);
    }
    const int n = std::stoi(total), u = std::stoi(unread), p = std::stoi(pending);
    for (int i = 0; i < n; ++i) {
      const std::string id = std::to_string(9001 + i);
      fncwriteToINI(id, "Subject", "Stored " + id, sInboxINI_Write);
      fncwriteToINI(id, "ReadStatus", i < u ? "UnRead" : "READ", sInboxINI_Write);
      fncwriteToINI(id, "RequireUserConfirmation", i < p ? "1" : "0", sInboxINI_Write);
    }
    fncwriteToINI("MsgCount", "MSGId", msgId, sInboxINI_Write);
  }
  std::vector<std::string> lines() { return log.lines(); }
  bool hasLine(const std::string& line) {
    auto l = lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  // Runs the flow; true when it ended the run.
  bool runEnds() {
    try {
      result = fncExtractMsgData();
      return false;
    } catch (const RunEnded&) {
      return true;
    }
  }
  bool viewerStarted() {
    // The file may exist a moment before the viewer has written it.
    for (int i = 0; i < 200 && box.read("nfyDesk/viewer-started.txt") != "started\n"; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return box.read("nfyDesk/viewer-started.txt") == "started\n";
  }

  test::Sandbox box;
  test::CapturedLog log{box};
  test::FakeComponents fakes;
  bool result = false;
};

TEST_F(MessageFlow, NewMessagesAnnouncedAndAClickOpensTheViewer) {
  summary("3", "1");
  fakes.poster.reply = reply(message("101", "0") + message("102", "0"));
  fakes.popup.answer = "CLICK";
  EXPECT_TRUE(runEnds());
  ASSERT_EQ(fakes.poster.posts.size(), 1u);
  EXPECT_EQ(fakes.poster.posts[0].url,
            "http://127.0.0.1:9/svc/tfr_wpdcmgetmsgstatus.asp?mmid=77&sid=55&rid=1234&rty=1");
  const std::string& xml = fakes.poster.posts[0].data;
  EXPECT_EQ(xml.rfind("<wpdcmgetmsgstatus><mmid>77</mmid><regid>1234</regid><usrname>user1</usrname><dt>", 0), 0u);
  EXPECT_EQ(fakes.popup.shown, 1);
  EXPECT_EQ(fakes.popup.properties["Header"].toString(),
            "You have total 3 messages from your service provider for your reference. Click for view all messages.");
  EXPECT_EQ(fakes.popup.properties["Body"].toString(), "Body text");
  EXPECT_EQ(fakes.popup.properties["DisplayTimeSeconds"].toString(), "10");
  EXPECT_TRUE(std::holds_alternative<int16_t>(fakes.popup.properties["TransparencyLevel"].v));
  auto l = lines();
  auto at = [&](const std::string& s) { return std::find(l.begin(), l.end(), s) - l.begin(); };
  EXPECT_LT(at("MSG : Total existing messages            = 3"), at("MSG : Total Unread messages              = 1"));
  EXPECT_LT(at("MSG : User clicked on the popup"), at("MSG : In fncExecuteMsgInbox"));
  EXPECT_EQ(l.back(), "MSG : Application Ended.");
  EXPECT_TRUE(viewerStarted());
}

TEST_F(MessageFlow, ConfirmationReportsTheNamedMessageThenOpensTheViewer) {
  summary("0", "0");
  fakes.poster.reply = reply(message("201", "0", "TRUE"));
  fakes.popup.answer = "OKCLICK";
  EXPECT_TRUE(runEnds());
  EXPECT_EQ(fakes.popup.properties["DisplayTimeSeconds"].toString(), "0");
  EXPECT_EQ(fakes.popup.properties["Header"].toString(),
            "You have total 1 message from your service provider for your reference. Click for view all messages.");
  ASSERT_EQ(fakes.poster.posts.size(), 2u);
  EXPECT_EQ(fakes.poster.posts[1].url,
            "http://127.0.0.1:9/svc/tfr_wpdcmupdateusrstatus.asp?mmid=77&sid=55&rid=1234&rty=1");
  EXPECT_EQ(fakes.poster.posts[1].data,
            "<wpdcmupdateusrstatus><mmid>77</mmid><regid>1234</regid><msgid>201</msgid><usrstatus>1</usrstatus>"
            "</wpdcmupdateusrstatus>");
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "");
  EXPECT_TRUE(hasLine("MSG : User clicked on OK button"));
  EXPECT_TRUE(viewerStarted());
}

TEST_F(MessageFlow, ExitAndTimeoutEndTheRunAndOtherAnswersReturn) {
  for (const auto& [answer, line] :
       {std::pair<std::string, std::string>{"EXIT", "MSG : User clicked on the EXIT button of the popup"},
        {"AUTOCLOSE", "MSG : Popup timeout."}}) {
    log.reopen();  // ending the run closed the log
    summary("0", "0");
    fakes.poster.reply = reply(message(answer == "EXIT" ? "301" : "302", "0"));  // each new to the inbox
    fakes.popup.answer = answer;
    EXPECT_TRUE(runEnds()) << answer;
    EXPECT_TRUE(hasLine(line)) << answer;
  }
  log.reopen();
  summary("0", "0");
  fakes.popup.answer = "";
  EXPECT_FALSE(runEnds());
  EXPECT_TRUE(result);
  EXPECT_FALSE(box.exists("nfyDesk/viewer-started.txt"));
}

TEST_F(MessageFlow, NoPopupWhenTheReplyBringsNothingNew) {
  summary("2", "2");
  fakes.poster.reply = reply(message("401", "1"));
  EXPECT_FALSE(runEnds());
  EXPECT_TRUE(result);
  EXPECT_EQ(fakes.popup.shown, 0);
}

TEST_F(MessageFlow, BlankReplyAndFailedPostStillAnnounceStoredMessages) {
  summary("2", "2");
  fakes.poster.reply = "   ";
  fakes.popup.answer = "x";
  EXPECT_FALSE(runEnds());
  EXPECT_FALSE(result);
  EXPECT_TRUE(hasLine("MSG : No new messages found."));
  EXPECT_EQ(fakes.popup.shown, 1);

  fakes.poster.succeed = false;
  EXPECT_FALSE(runEnds());
  EXPECT_FALSE(result);
  EXPECT_EQ(fakes.popup.shown, 2);
  EXPECT_TRUE(hasLine("ERR : WebPost Failed : ::"));

  summary("0", "0");
  EXPECT_FALSE(runEnds());
  EXPECT_EQ(fakes.popup.shown, 2);  // nothing unread: no popup
}

TEST_F(MessageFlow, UnusableRepliesEndTheFlowWithoutPopup) {
  summary("2", "2");
  for (const char* bad : {"this is not xml <<<", "<other/>", "<dcmgetmsgstatus/>"}) {
    fakes.poster.reply = bad;
    EXPECT_FALSE(runEnds()) << bad;
    EXPECT_FALSE(result);
  }
  EXPECT_EQ(fakes.popup.shown, 0);
  EXPECT_FALSE(hasLine("MSG : No new messages found."));
}

TEST_F(MessageFlow, TemplateTitleDecidesTheHeaderAndABlankOneEndsTheRun) {
  summary("1", "1");
  fakes.poster.reply = "";
  fakes.popup.answer = "x";
  sInboxTitle = "  Custom title  ";
  runEnds();
  EXPECT_EQ(fakes.popup.properties["Header"].toString(), "Custom title");
  sInboxTitle = "   ";
  EXPECT_TRUE(runEnds());
  EXPECT_EQ(fakes.popup.shown, 1);
}

TEST_F(MessageFlow, EndpointFormsAndUnsafeValuesInTheRequest) {
  endpoint("http://127.0.0.1:9/svc/");
  sUserName = "R&D <lab>";
  sMemberID = "7 7";
  runEnds();
  endpoint("");
  runEnds();
  ASSERT_EQ(fakes.poster.posts.size(), 2u);
  EXPECT_EQ(fakes.poster.posts[0].url,
            "http://127.0.0.1:9/svc/tfr_wpdcmgetmsgstatus.asp?mmid=7%207&sid=55&rid=1234&rty=1");
  EXPECT_NE(fakes.poster.posts[0].data.find("<usrname>R&amp;D &lt;lab&gt;</usrname>"), std::string::npos);
  EXPECT_EQ(fakes.poster.posts[1].url, "");
  EXPECT_TRUE(hasLine("ERR: Unable to find url in wpdcmgetmsgs"));
}

TEST(NotificationText, DefaultTitleCountsTheMessages) {
  EXPECT_EQ(notificationText(kDefaultTitle, "1"),
            "You have total 1 message from your service provider for your reference. Click for view all messages.");
  EXPECT_EQ(notificationText(std::string("  ") + kDefaultTitle, "2"),
            "You have total 2 messages from your service provider for your reference. Click for view all messages.");
  // The count is used as stored, a leading blank included; any letter case of the default counts.
  EXPECT_EQ(notificationText("you have new messages from your service provider for your reference. click for view all "
                             "messages.",
                             " 3"),
            "You have total  3 messages from your service provider for your reference. Click for view all messages.");
  EXPECT_EQ(notificationText("Other", "3"), "Other");
  EXPECT_EQ(notificationText("", "3"), "");
}

}  // namespace
}  // namespace nfy
