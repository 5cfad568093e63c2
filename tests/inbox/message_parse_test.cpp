#include "inbox/message_parse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "app/globals.h"
#include "base/text.h"
#include "inbox/body_file.h"
#include "inbox/body_record.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "platform/file_ops.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

class MessageParse : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInboxINI_Write = sInboxINI_Read = box.path("nfyDeskInbox_user1.ini");
    box.mkdirs("Messages");
    sMsgFolder = box.path("Messages");
    sUserName = "user1";
  }
  void TearDown() override { test::resetAllGlobals(); }

  std::string ini(const std::string& section, const std::string& key) {
    std::string v;
    fncReadFromINI(v, section, key, sInboxINI_Read);
    return v;
  }
  void seedSummary(const std::string& total, const std::string& unread) {
    fncwriteToINI("MsgCount", "TotalMsgs", total, sInboxINI_Write);
    fncwriteToINI("MsgCount", "UnReadMsgs", unread, sInboxINI_Write);
    sTotalMsgs = total;
    sUnreadMsgs = unread;
    sReqConfirmMsgs = "0";
  }
  bool hasLine(const std::string& line) {
    auto l = log.lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }

  test::Sandbox box;
  test::CapturedLog log{box};
};

std::string message(const std::string& id, const std::string& status, const std::string& extra = "") {
  return "<message><id>" + id + "</id><subject>Subject " + id + "</subject><content>Body of " + id +
         "</content><usractid>0</usractid><usractchoicedata>d</usractchoicedata><frmdt>07/01/2017</frmdt>"
         "<tilldt>07/31/2017</tilldt><timetolive>0</timetolive><timetolivehrs>48</timetolivehrs>"
         "<timetolivedays>2</timetolivedays><timetolivedt>07/31/2017 00:00:00</timetolivedt>"
         "<createdby>ops</createdby>" +
         extra + "<status>" + status + "</status><dcdwntime>07/15/2017 13:00:00</dcdwntime></message>";
}

std::string reply(const std::string& messages) {
  return "<root><dcmgetmsgstatus>" + messages + "</dcmgetmsgstatus></root>";
}

TEST_F(MessageParse, StoresNewMessagesWithCountsTrueToTheSectionsThenRestoresThemUncounted) {
  // Counts that the sections do not bear out are never carried on.
  seedSummary("3", "1");
  ASSERT_TRUE(fncParseDeskMessages(reply(message("101", "0") + message("102", "0"))));
  EXPECT_EQ(lNewMsgCount, 2);
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "2");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "2");
  EXPECT_EQ(fncGetSectionNames(), "101,102");
  for (const char* id : {"101", "102"}) {
    EXPECT_EQ(ini(id, "Subject"), std::string("Subject ") + id);
    EXPECT_EQ(ini(id, "UserActionID"), "0");
    EXPECT_EQ(ini(id, "UserActionData"), "d");
    EXPECT_EQ(ini(id, "FromDate"), "07/01/2017");
    EXPECT_EQ(ini(id, "ToDate"), "07/31/2017");
    EXPECT_EQ(ini(id, "TimeToLive"), "0");
    EXPECT_EQ(ini(id, "TimeToLiveHrs"), "48");
    EXPECT_EQ(ini(id, "TimeToLiveDays"), "2");
    EXPECT_EQ(ini(id, "TimeToLiveDate"), "07/31/2017 00:00:00");
    EXPECT_EQ(ini(id, "CreatedBy"), "ops");
    EXPECT_EQ(ini(id, "MsgStatus"), "0");
    EXPECT_EQ(ini(id, "ReadStatus"), "UnRead");
    EXPECT_EQ(ini(id, "DownloadedDCTime"), "07/15/2017 13:00:00");
    EXPECT_EQ(ini(id, "Download_InformedToUser"), "user1");
    EXPECT_NO_THROW(parseStoredDateTime(ini(id, "DownloadedMNTime")));
    EXPECT_NO_THROW(parseStoredDateTime(ini(id, "Download_InformedAgentTime")));
    EXPECT_EQ(ini(id, "RequireUserConfirmation"), "");  // the reply had no requsrconfirm
    EXPECT_EQ(box.read(std::string("Messages/") + id + ".dat"), std::string("Body of ") + id);
  }
  EXPECT_TRUE(hasLine("MSG : -----------------------------MSG No. 2------------------------------------------------"));
  EXPECT_TRUE(hasLine("MSG : 111111111111 : 0"));

  // The same messages again, now recalled: stored again, not counted again;
  // only 101, which the user had read, is unread once more.
  fncwriteToINI("101", "ReadStatus", "READ", sInboxINI_Write);
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "1");
  ASSERT_TRUE(fncParseDeskMessages(reply(message("101", "1") + message("102", "1"))));
  EXPECT_EQ(lNewMsgCount, 0);
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "2");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "2");
  EXPECT_EQ(ini("101", "MsgStatus"), "1");
  EXPECT_EQ(ini("101", "ReadStatus"), "UnRead");
}

TEST_F(MessageParse, RecognisesFieldsInAnyCaseAndIgnoresOthers) {
  seedSummary("0", "0");
  std::string m =
      "<message><ID> 7 </ID><Subject>Mixed</Subject><CONTENT>x</CONTENT><unknown>u</unknown>"
      "<Status>0</Status></message>";
  ASSERT_TRUE(fncParseDeskMessages(reply(m)));
  EXPECT_EQ(ini("7", "Subject"), "Mixed");
  EXPECT_EQ(box.read("Messages/7.dat"), "x");
  ASSERT_EQ(arrMessages.size(), 1u);
  EXPECT_EQ(arrMessages[0].sID, "7");
}

TEST_F(MessageParse, ConfirmationFlagVariantsAndTheMessageAwaitingConfirmation) {
  seedSummary("0", "0");
  fncwriteToINI("MsgCount", "MSGId", "0", sInboxINI_Write);
  auto m = [](const std::string& id, const std::string& flag) {
    return "<message><id>" + id + "</id><subject>S" + id + "</subject><requsrconfirm>" + flag +
           "</requsrconfirm><status>0</status></message>";
  };
  ASSERT_TRUE(fncParseDeskMessages(reply(m("11", " true ") + m("12", "TRUE") + m("13", "yes") + m("14", ""))));
  EXPECT_EQ(ini("11", "RequireUserConfirmation"), "1");
  EXPECT_EQ(ini("12", "RequireUserConfirmation"), "1");
  EXPECT_EQ(ini("13", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("14", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "2");
  // The first message awaiting confirmation stays named.
  EXPECT_EQ(ini("MsgCount", "MSGId"), "11");
  EXPECT_EQ(ini("MsgCount", "Subject"), "S11");
}

TEST_F(MessageParse, NewMessageWithoutPendingConfirmationClearsTheNamedMessage) {
  seedSummary("1", "1");
  fncwriteToINI("MsgCount", "MSGId", "5", sInboxINI_Write);
  fncwriteToINI("MsgCount", "Subject", "old", sInboxINI_Write);
  ASSERT_TRUE(fncParseDeskMessages(reply(message("20", "0"))));
  EXPECT_EQ(ini("MsgCount", "MSGId"), "");
  EXPECT_EQ(ini("MsgCount", "Subject"), "");
}

// Every line break of the content becomes one CR in the body file, however
// the service wrote it: CR LF (which the parser reads as LF), CR LF as
// references, LF alone, or a mix.
TEST_F(MessageParse, LineBreaksOfTheContentBecomeOneCarriageReturnEach) {
  seedSummary("0", "0");
  const std::vector<std::string> contents = {"one\r\ntwo\r\n\r\nend", "one&#13;&#10;two&#13;&#10;&#13;&#10;end",
                                             "one\ntwo\n\nend", "one&#13;\ntwo&#10;\r\nend",
                                             "one&#13;two&#xD;&#13;end"};
  for (const std::string& content : contents) {
    ASSERT_TRUE(fncParseDeskMessages(
        reply("<message><id>30</id><content>" + content + "</content><status>1</status></message>")));
    EXPECT_EQ(box.read("Messages/30.dat"), "one\rtwo\r\rend") << content;
  }
  // Blank content: no body file at all.
  ASSERT_TRUE(fncParseDeskMessages(reply("<message><id>31</id><content>   </content><status>1</status></message>")));
  EXPECT_FALSE(box.exists("Messages/31.dat"));
}

// A message sent again is passed over (no write, no new receipt time) only
// while its body file holds its text, line breaks as the file keeps them;
// a body file changed or cut on the disk is written again. The message is
// found under its last id.
TEST_F(MessageParse, ARepeatedMessageIsPassedOverOnlyWhileItsBodyFileHoldsItsText) {
  seedSummary("0", "0");
  const std::string m = reply(
      "<message><id>99</id><id> 40 </id><subject>S</subject><content>one&#13;&#10;two\nthree</content>"
      "<status>0</status></message>");
  auto passes = [&] {
    auto l = log.lines();
    return std::count(l.begin(), l.end(),
                      "MSG : Message 40 is in the inbox as the reply has it; it is not written again");
  };
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(box.read("Messages/40.dat"), "one\rtwo\rthree");
  EXPECT_EQ(passes(), 0);
  const std::string received = ini("40", "DownloadedMNTime");
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(passes(), 1);
  EXPECT_EQ(ini("40", "DownloadedMNTime"), received);
  for (const char* onDisk : {"one\rtwo\rthreX", "one\rtwo\rthree and more", "one\rtwo", ""}) {
    box.write("Messages/40.dat", onDisk);
    ASSERT_TRUE(fncParseDeskMessages(m));
    EXPECT_EQ(passes(), 1) << onDisk;
    EXPECT_EQ(box.read("Messages/40.dat"), "one\rtwo\rthree") << onDisk;
  }
  EXPECT_EQ(fncGetSectionNames(), "40");
}

// A repeated message whose body file has the stamp recorded beside the inbox
// when it was last read is compared without reading the file; a file with
// any other stamp is read again (a recent one is never recorded).
TEST_F(MessageParse, ABodyFileKeepingItsRecordedStampIsNotReadBack) {
  seedSummary("0", "0");
  const std::string m =
      reply("<message><id>40</id><subject>S</subject><content>one two</content><status>0</status></message>");
  const std::string body = "Messages/40.dat";
  auto passes = [&] {
    auto l = log.lines();
    return std::count(l.begin(), l.end(),
                      "MSG : Message 40 is in the inbox as the reply has it; it is not written again");
  };
  auto recorded = [&] { return readBodyRecord(sInboxINI_Write).count("40"); };
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(recorded(), 0u);  // just written
  const auto hourAgo = std::filesystem::last_write_time(box.path(body)) - std::chrono::hours(1);
  std::filesystem::last_write_time(box.path(body), hourAgo);
  ASSERT_TRUE(fncParseDeskMessages(m));  // read back, and recorded
  EXPECT_EQ(passes(), 1);
  EXPECT_EQ(recorded(), 1u);
  // Changed in place with its time set back: the stamp is the recorded one,
  // and the file is taken as the record says, unread.
  box.write(body, "one twX");
  std::filesystem::last_write_time(box.path(body), hourAgo);
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(passes(), 2);
  EXPECT_EQ(box.read(body), "one twX");
  // Its time moved: read back, and written again.
  std::filesystem::last_write_time(box.path(body), hourAgo + std::chrono::seconds(1));
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(passes(), 2);
  EXPECT_EQ(box.read(body), "one two");

  // A record that cannot be written (a folder stands at its name) is
  // logged; the message still passes, read back.
  std::filesystem::last_write_time(box.path(body), hourAgo);
  std::filesystem::remove(box.path("nfyDeskInbox_user1.ini.bodies"));
  box.mkdirs("nfyDeskInbox_user1.ini.bodies");
  ASSERT_TRUE(fncParseDeskMessages(m));
  EXPECT_EQ(passes(), 3);
  const auto l = log.lines();
  EXPECT_TRUE(std::any_of(l.begin(), l.end(), [&](const std::string& line) {
    return line.starts_with("ERR : " + box.path("nfyDeskInbox_user1.ini.bodies") + " could not be written, ");
  }));

  // A record of more entries than any inbox's is not taken, whatever it says.
  BodyRecord large;
  for (int i = 0; i <= 100'000; ++i) large.emplace(std::to_string(1'000'000 + i), KnownBody{{true, 1, 1, 1, 1}, 1});
  EXPECT_FALSE(parseBodyRecord(formatBodyRecord(large)));
  large.erase(large.begin());
  EXPECT_TRUE(parseBodyRecord(formatBodyRecord(large)));
}

// Ids that differ only in letter case are one message: one section, one body
// file, named as the section was first stored.
TEST_F(MessageParse, IdsDifferingInCaseShareTheSectionAndTheBodyFile) {
  seedSummary("0", "0");
  auto m = [](const std::string& id, const std::string& body) {
    return "<message><id>" + id + "</id><subject>S " + id + "</subject><content>" + body +
           "</content><status>1</status></message>";
  };
  ASSERT_TRUE(fncParseDeskMessages(reply(m("1A", "first") + m("1a", "second"))));
  EXPECT_EQ(fncGetSectionNames(), "1A");
  EXPECT_EQ(ini("1A", "Subject"), "S 1a");
  EXPECT_EQ(box.read("Messages/1A.dat"), "second");
  ASSERT_TRUE(fncParseDeskMessages(reply(m("1a", "third"))));  // a later run
  EXPECT_EQ(box.read("Messages/1A.dat"), "third");
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(box.path("Messages")))
    files.push_back(e.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"1A.dat"});
  EXPECT_EQ(fncGetSectionNames(), "1A");
}

// Work is bounded by the messages of a reply, not by its nodes: skipped
// nodes take no record, and at most 1,000 messages are handled per reply.
TEST_F(MessageParse, HostileRepliesAreHandledInBoundedWork) {
  seedSummary("0", "0");
  // Nesting past the DOM's limit, or a NUL, is a reply that does not load.
  std::string deep;
  for (int i = 0; i < 590000; ++i) deep += "<a>";
  EXPECT_FALSE(fncParseDeskMessages(reply(message("8", "0", deep + "x" + replaceAll(deep, "<", "</")))));
  EXPECT_FALSE(fncParseDeskMessages(reply(message("8", "0", std::string("<usractid>a\0b</usractid>", 24)))));
  auto loadFailures = log.lines();
  EXPECT_EQ(std::count(loadFailures.begin(), loadFailures.end(), "ERR : Failed to load the xml for Desk Messages. "),
            2);
  EXPECT_EQ(fncGetSectionNames(), "");

  std::string filler;
  for (int i = 0; i < 100000; ++i) filler += "<x/>";
  ASSERT_TRUE(fncParseDeskMessages(reply(filler + message("9", "1"))));
  EXPECT_EQ(arrMessages.size(), 1u);
  EXPECT_EQ(arrMessages[0].sID, "9");
  EXPECT_TRUE(
      hasLine("MSG : -----------------------------MSG No. 100001------------------------------------------------"));

  // Entries that are never stored do not use up the cap: 1,005 unsafe ids
  // ahead of message 400000 leave its place to it.
  arrMessages.clear();
  std::string many;
  for (int i = 1; i <= 1005; ++i) many += "<m><id>7/N" + std::to_string(i) + "</id></m>";
  ASSERT_TRUE(fncParseDeskMessages(reply(many + message("400000", "1"))));
  EXPECT_EQ(arrMessages.size(), 1006u);
  EXPECT_EQ(fncGetSectionNames(), "9,400000");
  auto lines = log.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("the rest are left for a later run") != l.npos; }),
            0);
  fncDeleteINISection("400000", sInboxINI_Write);

  // A repeated status neither counts the message again nor writes again.
  std::string statuses;
  for (int i = 0; i < 2000; ++i) statuses += "<status>0</status>";
  const double before = leadingNumber(ini("MsgCount", "TotalMsgs"));
  ASSERT_TRUE(fncParseDeskMessages(reply("<m><id>12</id>" + statuses + "<dcdwntime>t</dcdwntime></m>")));
  EXPECT_EQ(lNewMsgCount, 1);
  EXPECT_EQ(leadingNumber(ini("MsgCount", "TotalMsgs")), before + 1);
  EXPECT_EQ(ini("12", "DownloadedDCTime"), "t");
  EXPECT_TRUE(hasLine("ERR : fncParseDeskMessages, message 1 has more than one status; only the first counts"));
}

// The cap counts messages new to the inbox: a second run passes over the
// ones stored before and stores the rest, and the counts follow the sections.
TEST_F(MessageParse, AReplyPastTheCapArrivesWholeOverTwoRuns) {
  seedSummary("0", "0");
  std::string many;
  for (int i = 1; i <= 1500; ++i) many += "<m><id>" + std::to_string(i) + "</id><status>0</status></m>";
  const std::string capLine =
      "ERR : fncParseDeskMessages, the reply holds more than 1000 messages; the rest are left for a later run";
  long capLines = 0;
  for (const char* expected : {"1000", "1500"}) {
    ASSERT_TRUE(fncParseDeskMessages(reply(many)));
    EXPECT_EQ(splitAt(fncGetSectionNames(), ',').size(), std::stoul(expected));
    EXPECT_EQ(ini("MsgCount", "TotalMsgs"), expected);
    EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), expected);
    auto lines = log.lines();
    capLines = std::count(lines.begin(), lines.end(), capLine);
    EXPECT_EQ(capLines, 1);  // the first run's only
  }
  EXPECT_EQ(ini("1500", "ReadStatus"), "UnRead");

  // Copies of a stored message as the inbox holds it cost no write and pass
  // without counting; copies that change it count, each one.
  // A value the inbox reads back changed (quotes, blanks, a line break) is
  // still the same value.
  const std::string odd =
      "<m><id>7</id><subject>\"Quoted\"</subject><createdby>a&#10;b</createdby><status>0</status></m>";
  ASSERT_TRUE(fncParseDeskMessages(reply(odd)));
  std::string copies;
  for (int i = 0; i < 1200; ++i) copies += odd;
  const platform::FileStamp before = platform::fileStamp(sInboxINI_Write);
  arrMessages.clear();
  ASSERT_TRUE(fncParseDeskMessages(reply(copies)));
  EXPECT_EQ(arrMessages.size(), 1200u);
  EXPECT_TRUE(platform::fileStamp(sInboxINI_Write) == before) << "the inbox was replaced";
  std::string changing;
  for (int i = 0; i < 1200; ++i)
    changing += "<m><id>7</id><subject>" + std::to_string(i) + "</subject><status>0</status></m>";
  arrMessages.clear();
  ASSERT_TRUE(fncParseDeskMessages(reply(changing)));
  EXPECT_EQ(arrMessages.size(), 1000u);
  EXPECT_EQ(ini("7", "Subject"), "999");
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "1500");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "1500");
}

TEST_F(MessageParse, IdsThatAreNotStoredLeaveNoSectionAndNoCount) {
  seedSummary("0", "0");
  std::string m =
      "<message><id>abc</id><status>0</status></message><message><id>0</id><status>0</status></message>"
      "<message><status>0</status></message>";
  ASSERT_TRUE(fncParseDeskMessages(reply(m)));
  EXPECT_EQ(lNewMsgCount, 3);
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "0");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "0");
  EXPECT_EQ(fncGetSectionNames(), "");
}

TEST_F(MessageParse, UnsafeIdsNeverBecomePathsOrSections) {
  seedSummary("0", "0");
  box.write("outside.dat", "keep");
  const std::string forged = "1&#13;&#10;[MsgCount]&#13;&#10;TotalMsgs=99";
  const std::vector<std::pair<std::string, std::string>> ids = {{"1/../../outside", "1/../../outside"},
                                                                {"2\\..\\x", "2\\..\\x"},
                                                                {"3]", "3]"},
                                                                {"4:stream", "4:stream"},
                                                                {std::string(129, '5'), std::string(129, '5')},
                                                                {"6*", "6*"},
                                                                {forged, "1\r\n[MsgCount]\r\nTotalMsgs=99"}};
  for (const auto& [inXml, id] : ids) {
    arrMessages.clear();
    ASSERT_TRUE(fncParseDeskMessages(reply("<message><id>" + inXml +
                                           "</id><content>evil</content><requsrconfirm>TRUE</requsrconfirm>"
                                           "<status>0</status></message>")))
        << id;
    // The log shows the id on its one line, line breaks escaped.
    std::string shown = inXml == forged ? "1\\r\\n[MsgCount]\\r\\nTotalMsgs=99" : id;
    EXPECT_NE(log.text().find("\tERR : fncParseDeskMessages, unsafe message id " + shown + "\r\n"), std::string::npos)
        << id;
  }
  EXPECT_EQ(fncGetSectionNames(), "");
  EXPECT_EQ(box.read("outside.dat"), "keep");
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "0");  // the counts follow the sections
  EXPECT_EQ(lNewMsgCount, 1);
  EXPECT_EQ(ini("MsgCount", "MSGId"), "0");
}

TEST_F(MessageParse, RepliesWithoutUsableMessages) {
  EXPECT_FALSE(fncParseDeskMessages("this is not xml <<<"));
  EXPECT_TRUE(hasLine("ERR : Failed to load the xml for Desk Messages. "));
  EXPECT_FALSE(box.exists("nfyDeskInbox_user1.ini"));

  EXPECT_FALSE(fncParseDeskMessages("<other><x/></other>"));
  EXPECT_FALSE(box.exists("nfyDeskInbox_user1.ini"));

  // An empty list normalises the blank summary keys and nothing else.
  EXPECT_FALSE(fncParseDeskMessages("<dcmgetmsgstatus></dcmgetmsgstatus>"));
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "0");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "0");
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "0");
  EXPECT_EQ(fncGetSectionNames(), "");
}

TEST_F(MessageParse, NodesWithoutFieldsAreSkipped) {
  seedSummary("0", "0");
  std::string r = reply("<!-- note --><empty/>" + message("40", "0") + "<message>text only</message>");
  ASSERT_TRUE(fncParseDeskMessages(r));
  EXPECT_EQ(fncGetSectionNames(), "40");
  EXPECT_EQ(lNewMsgCount, 1);
}

TEST_F(MessageParse, BodyFileIsNotWrittenWithoutAMessagesFolder) {
  sMsgFolder.clear();  // start-up stopped before naming it
  subCreateMsgFile("50", "text");
  EXPECT_TRUE(hasLine("ERR : subCreateMsgFile, Path not found"));
  EXPECT_FALSE(box.exists("50.dat"));
}

TEST(MessageId, SafeIdsAreExactlyThePlainFileNames) {
  for (const char* ok : {"1", "101", "abc", "a b", "1.5", "x[1"}) EXPECT_TRUE(isSafeMessageId(ok)) << ok;
  for (const char* bad :
       {"", "  ", ".", "..", "a/b", "a\\b", "c:", "a*", "a?", "a\"", "a<", "a>", "a|", "a]", "5,7", "a\tb", "a\x7f"}) {
    EXPECT_FALSE(isSafeMessageId(bad)) << bad;
  }
  EXPECT_TRUE(isSafeMessageId(std::string(128, '1')));
  EXPECT_FALSE(isSafeMessageId(std::string(129, '1')));
}

}  // namespace
}  // namespace nfy
