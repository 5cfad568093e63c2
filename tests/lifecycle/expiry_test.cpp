#include "lifecycle/expiry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/globals.h"
#include "base/text.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "lifecycle/staying_record.h"
#include "platform/system_testing.h"
#include "support/fake_components.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

using Keys = std::map<std::string, std::string>;

const DateTime kNow{2026, 12, 8, 12, 0, 5};

class Expiry : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInstallPath = sDataPath = box.dir();
    box.mkdirs("nfyDesk/DeskInbox/Messages");
    sMsgFolder = box.path("nfyDesk/DeskInbox/Messages");
    // At the top of the sandbox: the INI store keeps its lock file open.
    sInboxINI_Write = sInboxINI_Read = box.path("inbox.ini");
    sRegID = "1234", sSiteID = "55", sMemberID = "77", sType = "1", sExeVersion = "1.0.0.1";
    box.write("Configuration/nfyEndpoints.ini", "[wpdcmsendmsgdskupd]\r\nURL=http://127.0.0.1:9/svc\r\n");
    platform::setClockForTesting([] { return kNow.toTimeT(); });
  }
  void TearDown() override {
    platform::setClockForTesting({});
    test::resetAllGlobals();
  }

  // A stored message: read, nothing recalled, no time to live, unless the
  // keys say otherwise.
  void store(const std::string& id, Keys keys = {}) {
    Keys all{{"Subject", "S" + id},
             {"MsgStatus", "0"},
             {"UserActionID", "1"},
             {"ReadStatus", "READ"},
             {"TimeToLive", ""},
             {"RequireUserConfirmation", "0"},
             {"DownloadedMNTime", "12/08/2026 10:00:00"}};
    for (auto& [k, v] : keys) all[k] = v;
    for (auto& [k, v] : all) fncwriteToINI(id, k, v, sInboxINI_Write);
    box.write("nfyDesk/DeskInbox/Messages/" + id + ".dat", "body of " + id);
  }
  void summary(const Keys& keys) {
    for (auto& [k, v] : keys) fncwriteToINI("MsgCount", k, v, sInboxINI_Write);
  }
  std::string ini(const std::string& section, const std::string& key) {
    std::string v;
    fncReadFromINI(v, section, key, sInboxINI_Read);
    return v;
  }
  bool stored(const std::string& id) { return ini(id, "Subject") == "S" + id; }
  bool hasLine(const std::string& line) {
    auto l = log.lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  // The status codes of the reports posted, in order.
  std::vector<std::string> statuses() {
    std::vector<std::string> out;
    for (auto& p : fakes.poster.posts) {
      auto a = p.data.find("<status>"), b = p.data.find("</status>");
      out.push_back(p.data.substr(a + 8, b - a - 8));
    }
    return out;
  }
  // Runs the pass over one message stored with these keys; the status code
  // it was reported with, or "" when it stayed.
  std::string fate(Keys keys) {
    store("7", std::move(keys));
    fakes.poster.posts.clear();
    fncDeleteExpiredMsgs();
    bool gone = !stored("7");
    EXPECT_EQ(gone, !fakes.poster.posts.empty());
    std::string s = gone ? statuses().at(0) : "";
    fncDeleteINISection("7", sInboxINI_Write);
    return s;
  }

  test::Sandbox box;
  test::CapturedLog log{box};
  test::FakeComponents fakes;
};

TEST_F(Expiry, RecallComesFirstThenReadThenTimeToLive) {
  EXPECT_EQ(fate({{"MsgStatus", "1"}, {"UserActionID", "0"}}), "4") << "recalled and read: recalled";
  EXPECT_EQ(fate({{"MsgStatus", "01"}}), "4");
  EXPECT_EQ(fate({{"MsgStatus", "1.0"}}), "4");
  EXPECT_EQ(fate({{"MsgStatus", "2"}}), "");
  EXPECT_EQ(fate({{"UserActionID", " 0 "}, {"ReadStatus", " rEaD "}}), "7");
  EXPECT_EQ(fate({{"UserActionID", "1"}}), "") << "read but asking for an action";
  EXPECT_EQ(fate({{"UserActionID", ""}}), "");
  EXPECT_EQ(fate({{"UserActionID", "0"}, {"ReadStatus", "UNREAD"}}), "");
  EXPECT_EQ(fate({{"UserActionID", "1"}, {"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}}), "2")
      << "read with an action still expires";
}

TEST_F(Expiry, TimeToLiveByHoursDaysAndDateIsStrictToTheSecond) {
  // Downloaded 10:00:00, now 12:00:05.
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}}), "2");
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "3"}}), "");
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "2"}, {"DownloadedMNTime", "12/08/2026 10:00:05"}}), "")
      << "expiry equal to now";
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "2"}, {"DownloadedMNTime", "12/08/2026 10:00:04"}}), "2")
      << "one second later";
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "-1"}, {"DownloadedMNTime", "12/08/2026 13:00:00"}}), "2")
      << "negative hours";
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "1.6"}, {"DownloadedMNTime", "12/08/2026 10:00:05"}}), "")
      << "1.6 hours count as 2";
  for (const char* none : {"0", "", "abc"}) {
    EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", none}, {"DownloadedMNTime", "01/01/2000 00:00:00"}}), "")
        << "hours [" << none << "]";
  }
  EXPECT_EQ(fate({{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}, {"DownloadedMNTime", " "}}), "");
  EXPECT_EQ(fate({{"TimeToLive", "1"}, {"TimeToLiveDays", "1"}, {"DownloadedMNTime", "12/07/2026 12:00:04"}}), "2");
  EXPECT_EQ(fate({{"TimeToLive", "1"}, {"TimeToLiveDays", "1"}, {"DownloadedMNTime", "12/07/2026 12:00:05"}}), "");
  EXPECT_EQ(fate({{"TimeToLive", "1"}, {"TimeToLiveDays", "7"}, {"DownloadedMNTime", "2026-11-30T09:00:00"}}), "2")
      << "ISO 8601 receipt time";
  EXPECT_EQ(fate({{"TimeToLive", "2"}, {"TimeToLiveDate", "12/08/2026 12:00:04"}}), "2");
  EXPECT_EQ(fate({{"TimeToLive", "2"}, {"TimeToLiveDate", "12/8/2026 12:00:05 PM"}}), "");
  EXPECT_EQ(fate({{"TimeToLive", "2"}, {"TimeToLiveDate", "12/08/2026 11:00 AM"}}), "2");
  EXPECT_EQ(fate({{"TimeToLive", "2"}, {"TimeToLiveDate", ""}}), "");
  EXPECT_EQ(fate({{"TimeToLive", "2"}, {"TimeToLiveDate", "01/01/2000"}, {"DownloadedMNTime", ""}}), "");
  // (" 0" cannot be stored: the INI file drops the blanks around a value.)
  for (const char* kind : {"", "00", "3", "0 h"}) {
    EXPECT_EQ(fate({{"TimeToLive", kind}, {"TimeToLiveHrs", "1"}, {"TimeToLiveDate", "01/01/2000"}}), "")
        << "kind [" << kind << "]";
  }
}

TEST_F(Expiry, LogLinesOfEachRule) {
  store("31", {{"MsgStatus", "1"}});
  store("32", {{"UserActionID", "0"}});
  store("33", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}});
  store("34", {{"TimeToLive", "1"}, {"TimeToLiveDays", "1"}, {"DownloadedMNTime", "12/01/2026 10:00:00"}});
  store("35", {{"TimeToLive", "2"}, {"TimeToLiveDate", "12/08/2026 11:00:00"}});
  fncDeleteExpiredMsgs();
  auto l = log.lines();
  auto first = std::find(l.begin(), l.end(), "MSG : In fncDeleteExpiredMsgs");
  ASSERT_NE(first, l.end());
  std::vector<std::string> expected = {
      "MSG : ----------------MSG ID [31]-------------------------------",
      "MSG : ----Msg ID. 31 [Subject: S31] has been RECALLED. So it will be deleted. ",
      "MSG : Was read by user, so it will be deleted",
      "MSG : Msg will be expire after, Number of hours after the msgs is downloaded by the communicator agent :: 1",
      "MSG : Comparing 12/08/2026 12:00:05 with 12/08/2026 11:00:00",
      "MSG : ----Msg ID. 33 [Subject: S33] has been EXPIRED.",
      "MSG : Msg will be expire after, Number of days after the msg is downloaded by the communicator agent :: 1",
      "MSG : Message will be deleted asNumber of days after the msg is downloaded filter violated. ",
      "MSG : Message will expire after :: 12/08/2026 11:00:00",
      "MSG : Comparing 12/08/2026 12:00:05 with 12/08/2026 11:00:00",
      "MSG : Message will be deleted as Set Date / time filter violated. ",
  };
  auto at = first;
  for (const auto& line : expected) {
    auto found = std::find(at, l.end(), line);
    ASSERT_NE(found, l.end()) << "missing, or out of order: " << line;
    at = found;
  }
  EXPECT_TRUE(hasLine("MSG : Messages sections found :: 31,32,33,34,35"));
  EXPECT_EQ(statuses(), (std::vector<std::string>{"4", "7", "2", "2", "2"}));
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "0");
}

TEST_F(Expiry, MessagesOfEarlierRunsThatStayAreCountedInOneLine) {
  // 61 and 62 were stored by earlier runs and stay; 63 too, but has expired;
  // 64 was written by this run. An earlier message that cannot be handled
  // (65) is logged with its id.
  store("61", {{"TimeToLive", "1"}, {"TimeToLiveDays", "7"}});
  store("62");
  store("63", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}});
  store("64", {{"TimeToLive", "1"}, {"TimeToLiveDays", "2"}});
  store("65", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}, {"DownloadedMNTime", "soon"}});
  writtenIds = {"64"};
  fncDeleteExpiredMsgs();
  auto l = log.lines();
  auto has = [&](const std::string& text) { return std::find(l.begin(), l.end(), text) != l.end(); };
  auto header = [](const std::string& id) {
    return "MSG : ----------------MSG ID [" + id + "]-------------------------------";
  };
  EXPECT_FALSE(has(header("61")));
  EXPECT_FALSE(has(header("62")));
  EXPECT_TRUE(has(header("63")));
  EXPECT_TRUE(has("MSG : Comparing 12/08/2026 12:00:05 with 12/10/2026 10:00:00")) << "64, of this run";
  auto bad = std::find(l.begin(), l.end(), header("65"));
  ASSERT_NE(bad, l.end());
  EXPECT_EQ(*std::next(bad),
            "MSG : Msg will be expire after, Number of hours after the msgs is downloaded by the "
            "communicator agent :: 1");
  EXPECT_EQ(*std::next(bad, 2), "ERR : fncDeleteExpiredMsgs, Type mismatch");
  EXPECT_EQ(l.back(),
            "MSG : Messages stored by earlier runs that stay: 2; the next to expire: 61, at 12/15/2026 10:00:00");
  EXPECT_FALSE(stored("63"));
  EXPECT_TRUE(stored("61") && stored("62") && stored("64") && stored("65"));
}

// A pass that found every message staying is recorded beside the inbox,
// and a pass over the same inbox text before the first of them expires
// takes what it found from there. A changed inbox, a time past that first
// expiry, or a record that does not read whole: every message is judged.
TEST_F(Expiry, APassWhereAllStayIsTakenFromItsRecordUntilTheInboxChangesOrOneExpires) {
  store("61", {{"TimeToLive", "1"}, {"TimeToLiveDays", "7"}});
  store("62", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}, {"DownloadedMNTime", "12/08/2026 11:30:00"}});
  auto stay = [](const std::string& next) {
    return "MSG : Messages stored by earlier runs that stay: 2; the next to expire: " + next;
  };
  // 62 was stored by this run: logged in full, and in the record too.
  writtenIds = {"62"};
  fncDeleteExpiredMsgs();
  EXPECT_TRUE(hasLine("MSG : ----------------MSG ID [62]-------------------------------"));
  EXPECT_EQ(log.lines().back(),
            "MSG : Messages stored by earlier runs that stay: 1; the next to expire: 61, at 12/15/2026 10:00:00");
  writtenIds.clear();
  const std::optional<StayingRecord> found = parseStayingRecord(box.read("inbox.ini.staying"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->count, 2);
  EXPECT_EQ(found->nextId, "62");

  // A record of this inbox that names another message: the next pass is
  // taken from it, not judged (and leaves the record as it is).
  StayingRecord named = *found;
  named.nextId = "61";
  ASSERT_TRUE(writeStayingRecord(sInboxINI_Write, named));
  fncDeleteExpiredMsgs();
  EXPECT_EQ(log.lines().back(), stay("61, at 12/08/2026 12:30:00"));
  EXPECT_EQ(parseStayingRecord(box.read("inbox.ini.staying")), named);

  // One that does not read whole is not taken, and is written anew.
  box.write("inbox.ini.staying", formatStayingRecord(named).substr(0, 60));
  fncDeleteExpiredMsgs();
  EXPECT_EQ(log.lines().back(), stay("62, at 12/08/2026 12:30:00"));
  EXPECT_EQ(parseStayingRecord(box.read("inbox.ini.staying")), found);

  // The inbox changed (61 recalled): judged again, 61 goes.
  ASSERT_TRUE(writeStayingRecord(sInboxINI_Write, named));
  fncwriteToINI("61", "MsgStatus", "1", sInboxINI_Write);
  fncDeleteExpiredMsgs();
  EXPECT_FALSE(stored("61"));
  EXPECT_TRUE(stored("62"));
  EXPECT_EQ(log.lines().back(),
            "MSG : Messages stored by earlier runs that stay: 1; the next to expire: 62, at "
            "12/08/2026 12:30:00");

  // Past the first expiry a record stands for: judged again, 62 goes.
  fncDeleteExpiredMsgs();
  ASSERT_EQ(parseStayingRecord(box.read("inbox.ini.staying")).value_or(StayingRecord{}).count, 1);
  platform::setClockForTesting([] { return DateTime{2026, 12, 8, 12, 30, 1}.toTimeT(); });
  fncDeleteExpiredMsgs();
  EXPECT_FALSE(stored("62"));
  EXPECT_TRUE(hasLine("MSG : ----------------MSG ID [62]-------------------------------"));
}

TEST_F(Expiry, ARunOverARecordedInboxJudgesOnlyItsOwnMessagesUnlessAnotherProgramChangedTheInbox) {
  store("61", {{"TimeToLive", "1"}, {"TimeToLiveDays", "7"}, {"ReadStatus", "UNREAD"}});
  store("62", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}, {"DownloadedMNTime", "12/08/2026 11:30:00"}});
  writtenIds = {"61", "62"};
  fncDeleteExpiredMsgs();
  // The next run, as Main starts it: the record of the inbox it finds is
  // trusted for the counts, and the counts check takes it.
  size_t mark = 0;  // the run's first line
  auto logged = [&](const std::string& id) {
    const std::vector<std::string> l = log.lines();
    return std::find(l.begin() + static_cast<std::ptrdiff_t>(mark), l.end(),
                     "MSG : ----------------MSG ID [" + id + "]-------------------------------") != l.end();
  };
  auto nextRun = [&](const std::string& firstToExpire) {
    ini::forgetCachedFiles();
    std::optional<StayingRecord> recorded = readStayingRecord(sInboxINI_Write);
    EXPECT_TRUE(recorded);
    if (!recorded) return;
    // Named otherwise than a judgement would find it: a line that names it
    // came from the record.
    recorded->nextId = firstToExpire;
    ASSERT_TRUE(writeStayingRecord(sInboxINI_Write, *recorded));
    trustInboxCountsOf(recorded->digest);
    FncFixMisMatch();
    mark = log.lines().size();
  };
  const std::string stayLine = "MSG : Messages stored by earlier runs that stay: ";

  // A run that stores 63: only 63 is judged; 61 and 62 are the record's.
  nextRun("61");
  store("63");
  writtenIds = {"63"};
  fncDeleteExpiredMsgs();
  EXPECT_TRUE(logged("63"));
  EXPECT_FALSE(logged("62"));
  EXPECT_EQ(log.lines().back(), stayLine + "2; the next to expire: 61, at 12/08/2026 12:30:00");
  EXPECT_EQ(readStayingRecord(sInboxINI_Write).value_or(StayingRecord{}).count, 3);
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "3");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "1");

  // Another program recalls 61 while a run stores 64: every message is
  // judged again, and 61 goes in that run.
  nextRun("61");
  const std::string text = box.read("inbox.ini");
  const size_t at = text.find("MsgStatus=0", text.find("[61]"));
  ASSERT_NE(at, std::string::npos);
  box.write("inbox.ini", text.substr(0, at) + "MsgStatus=1" + text.substr(at + 11));
  store("64");
  writtenIds = {"64"};
  fncDeleteExpiredMsgs();
  EXPECT_TRUE(logged("61"));
  EXPECT_FALSE(stored("61"));
  EXPECT_EQ(log.lines().back(), stayLine + "2; the next to expire: 62, at 12/08/2026 12:30:00");
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "3");
  EXPECT_EQ(ini("MsgCount", "UNREADMsgs"), "0");
}

TEST_F(Expiry, AnEmptyInboxLogsOnlyThatItIsEmpty) {
  summary({{"TotalMsgs", "0"}});
  fncDeleteExpiredMsgs();
  auto l = log.lines();
  auto at = std::find(l.begin(), l.end(), "MSG : In fncDeleteExpiredMsgs");
  ASSERT_NE(at, l.end());
  EXPECT_EQ(l.back(), "MSG : No messages found.");
  EXPECT_TRUE(fakes.poster.posts.empty());
}

TEST_F(Expiry, AfterARemovalTheCountsAreThoseOfTheSectionsLeft) {
  // Counts that were wrong before are not carried on by the removal.
  summary({{"TotalMsgs", "3"}, {"UnReadMsgs", "2"}});
  store("1", {{"MsgStatus", "1"}, {"ReadStatus", " unread "}});
  store("2", {{"MsgStatus", "1"}});
  store("3", {{"ReadStatus", "UnRead"}});
  store("5");
  fncDeleteExpiredMsgs();
  EXPECT_EQ(ini("MsgCount", "UnReadMsgs"), "1");
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "2");
  EXPECT_FALSE(box.exists("nfyDesk/DeskInbox/Messages/1.dat"));
  EXPECT_TRUE(box.exists("nfyDesk/DeskInbox/Messages/3.dat"));
  EXPECT_TRUE(hasLine("MSG : Deleting file :: " + box.path("nfyDesk/DeskInbox/Messages/1.dat")));

  // A blank unread count is written as the sections give it.
  summary({{"UnReadMsgs", ""}});
  store("4", {{"MsgStatus", "1"}, {"ReadStatus", "UNREAD"}});
  std::filesystem::remove(box.path("nfyDesk/DeskInbox/Messages/4.dat"));
  fncDeleteExpiredMsgs();
  EXPECT_FALSE(stored("4"));
  EXPECT_EQ(ini("MsgCount", "UnReadMsgs"), "1");
  EXPECT_EQ(ini("MsgCount", "TotalMsgs"), "2");
  EXPECT_FALSE(hasLine("MSG : Deleting file :: " + box.path("nfyDesk/DeskInbox/Messages/4.dat")));
}

TEST_F(Expiry, RemovingTheNamedMessageNamesTheNextOneAwaitingConfirmation) {
  // A comes first in the file and is the named one; B also awaits.
  store("11", {{"MsgStatus", "1"}, {"RequireUserConfirmation", "1"}});
  store("12", {{"RequireUserConfirmation", ""}});  // a blank flag counts as 0
  store("13", {{"RequireUserConfirmation", "1"}});
  summary({{"RequireUserConfirmation", "2"}, {"MSGId", "11"}, {"Subject", "S11"}});
  fncDeleteExpiredMsgs();
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "1");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "13");
  EXPECT_EQ(ini("MsgCount", "Subject"), "S13");

  // The last one awaiting: the index is cleared and nobody is named.
  fncwriteToINI("13", "MsgStatus", "1", sInboxINI_Write);
  fncDeleteExpiredMsgs();
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "0");
  EXPECT_EQ(ini("MsgCount", "Subject"), "");
  EXPECT_TRUE(stored("12"));
}

TEST_F(Expiry, RemovingAnotherMessageAwaitingConfirmationLowersOnlyTheCount) {
  store("21", {{"RequireUserConfirmation", "1"}});
  store("22", {{"MsgStatus", "1"}, {"RequireUserConfirmation", "1"}});
  store("23", {{"MsgStatus", "1"}});
  summary({{"RequireUserConfirmation", "2"}, {"MSGId", "21"}, {"Subject", "S21"}});
  fncDeleteExpiredMsgs();
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "1");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "21");
  EXPECT_EQ(ini("MsgCount", "Subject"), "S21");
}

TEST_F(Expiry, OneBadMessageIsLoggedAndTheOthersAreStillHandled) {
  store("41", {{"TimeToLive", "0"}, {"TimeToLiveHrs", "1"}, {"DownloadedMNTime", "yesterday"}});
  store("42", {{"TimeToLive", "2"}, {"TimeToLiveDate", "13/45/2026"}});
  store("43", {{"MsgStatus", "1"}, {"RequireUserConfirmation", "yes"}});
  summary({{"MSGId", "43"}});
  store("44", {{"MsgStatus", "1"}});
  fncDeleteExpiredMsgs();
  EXPECT_TRUE(stored("41"));
  EXPECT_TRUE(stored("42"));
  EXPECT_TRUE(stored("43")) << "a confirmation flag that is not a number";
  EXPECT_FALSE(stored("44"));
  auto l = log.lines();
  EXPECT_EQ(std::count(l.begin(), l.end(), "ERR : fncDeleteExpiredMsgs, Type mismatch"), 3);
  EXPECT_EQ(statuses(), (std::vector<std::string>{"4"}));
}

TEST_F(Expiry, ASectionThatIsNoFileNameIsRemovedWithoutTouchingFiles) {
  fncwriteToINI("../keep", "MsgStatus", "1", sInboxINI_Write);
  box.write("nfyDesk/DeskInbox/keep.dat", "not a body file");
  fncDeleteExpiredMsgs();
  EXPECT_EQ(ini("../keep", "MsgStatus"), "");
  EXPECT_EQ(box.read("nfyDesk/DeskInbox/keep.dat"), "not a body file");
  ASSERT_EQ(fakes.poster.posts.size(), 1u);
  EXPECT_NE(fakes.poster.posts[0].data.find("<msgid>../keep</msgid>"), std::string::npos);
}

}  // namespace
}  // namespace nfy
