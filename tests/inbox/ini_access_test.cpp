#include "inbox/ini_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/globals.h"
#include "base/text.h"
#include "inbox/ini_document.h"
#include "inbox/ini_file.h"
#include "platform/file_ops.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

using test::CapturedLog;
using test::Sandbox;

class IniAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    inbox = test::startWithInbox(box);
    // The INI procedures as such: the inbox's count rule is tested apart.
    setInboxCountsKept(false);
  }
  void TearDown() override { setInboxCountsKept(true); }
  std::string get(const std::string& section, const std::string& key, const std::string& file = "") {
    std::string v;
    fncReadFromINI(v, section, key, file.empty() ? inbox : file);
    return v;
  }
  Sandbox box;
  std::string inbox;
};

TEST_F(IniAccess, WritesAndReadsKeysWithTheirLogLines) {
  CapturedLog log(box);
  fncwriteToINI("MsgCount", "UnReadMsgs", "2", inbox);
  fncwriteToINI("MsgCount", "UNREADMsgs", "3", inbox);
  fncwriteToINI("101", "Subject", "Hello = world", inbox);
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[MsgCount]\r\nUnReadMsgs=3\r\n[101]\r\nSubject=Hello = world\r\n");
  EXPECT_EQ(get("msgcount", "UnreadMsgs"), "3");
  std::string v = "stale";
  EXPECT_EQ(fncReadFromINI(v, "101", "Missing", inbox), 0);
  EXPECT_EQ(v, "");
  EXPECT_EQ(fncReadFromINI(v, "101", "Subject", box.path("no-such.ini")), 0);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : Writing [MsgCount] UnReadMsgs=2 to file " + inbox,
                             "MSG : Writing [MsgCount] UNREADMsgs=3 to file " + inbox,
                             "MSG : Writing [101] Subject=Hello = world to file " + inbox,
                         }));
  // Nothing but the inbox and its lock file is left in the folder.
  for (const auto& entry : std::filesystem::directory_iterator(box.dir())) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "nfyDeskInbox_user.ini" || name == "nfyDeskInbox_user.ini.lock" || name == "captured-log.txt")
        << name;
  }
}

// The procedures' reads are cut as the profile call's buffer cuts them; a
// whole read is not.
TEST_F(IniAccess, CutsLongValuesAt999CharactersInTheProceduresOnly) {
  std::string longValue(1200, 'v');
  longValue[998] = 'L';
  fncwriteToINI("101", "Body", longValue, inbox);
  std::string v;
  EXPECT_EQ(fncReadFromINI(v, "101", "Body", inbox), 999);
  EXPECT_EQ(v, longValue.substr(0, 999));
  EXPECT_EQ(readIni("101", "Body"), longValue.substr(0, 999));
  EXPECT_EQ(iniValue(inbox, "101", "Body"), longValue);
}

TEST_F(IniAccess, RefusesWritesThatWouldBreakTheFile) {
  CapturedLog log(box);
  // A subject that tries to add a summary of its own.
  fncwriteToINI("MsgCount", "TotalMsgs", "1", inbox);
  fncwriteToINI("101", "Subject", "Hi\r\n[MsgCount]\r\nTotalMsgs=99\nUNREADMsgs=99", inbox);
  EXPECT_EQ(get("101", "Subject"), "Hi  [MsgCount]  TotalMsgs=99 UNREADMsgs=99");
  EXPECT_EQ(get("MsgCount", "TotalMsgs"), "1");
  EXPECT_EQ(get("MsgCount", "UNREADMsgs"), "");
  EXPECT_EQ(fncGetSectionNames(), "101");

  const std::string before = box.read("nfyDeskInbox_user.ini");
  fncwriteToINI("10]1", "Subject", "x", inbox);          // would end the header early
  fncwriteToINI("101", "[MsgCount]", "x", inbox);        // would read back as a header
  fncwriteToINI("101", "Subject", "x", "relative.ini");  // no stray file in the current folder
  fncwriteToINI("101", "Subject", "x", "");              // no file at all
  fncwriteToINI("101", "Subject", "x", box.path("no\\such\\folder\\x.ini"));
  fncDeleteINISection("101", "relative.ini");
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), before);
  EXPECT_FALSE(std::filesystem::exists("relative.ini"));

  std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), 13u);
  EXPECT_EQ(lines[1], "MSG : Writing [101] Subject=Hi  [MsgCount]  TotalMsgs=99 UNREADMsgs=99 to file " + inbox);
  std::vector<std::string> errors;
  for (const auto& l : lines) {
    if (l.rfind("ERR", 0) == 0) errors.push_back(l);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to write to the INI",
                        "ERR : Failed to delete the section [101] from file relative.ini. ",
                    }));
}

TEST_F(IniAccess, ListsEverySectionButTheSummary) {
  CapturedLog log(box);
  EXPECT_EQ(fncGetSectionNames(), "");  // no file
  fncwriteToINI("MsgCount", "TotalMsgs", "2", inbox);
  EXPECT_EQ(fncGetSectionNames(), "");
  fncwriteToINI("101", "Subject", "a", inbox);
  fncwriteToINI("102", "Subject", "b", inbox);
  fncwriteToINI("msgcount", "TotalMsgs", "3", inbox);  // still the one summary section
  EXPECT_EQ(fncGetSectionNames(), "101,102");

  // Far more than 255 characters of names: none is cut or lost.
  std::string expected = "101,102";
  for (int i = 0; i < 60; ++i) {
    std::string id = "{6F9619FF-8B86-D011-B42D-00C04FC964" + std::to_string(10 + i) + "}";
    fncwriteToINI(id, "Subject", "s", inbox);
    expected += "," + id;
  }
  EXPECT_EQ(fncGetSectionNames(), expected);

  fncDeleteINISection("101", inbox);
  fncDeleteINISection("nothing", inbox);  // a missing section is no failure
  EXPECT_EQ(fncGetSectionNames(), expected.substr(4));
  EXPECT_EQ(get("101", "Subject"), "");

  sInboxINI_Read = "relative.ini";
  EXPECT_EQ(fncGetSectionNames(), "");
  std::vector<std::string> lines = log.lines();
  EXPECT_EQ(lines[0], "MSG : In fncGetSectionNames sInboxINI_Read : " + inbox);
  EXPECT_EQ(lines[1], "MSG : Total section :: ");
  EXPECT_EQ(lines.back(), "ERR : fncGetSectionNames, Path not found");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "MSG : Deleting [101] from file " + inbox), lines.end());
}

TEST_F(IniAccess, FixMisMatchResetsTheSummaryOfAnEmptyInbox) {
  const std::string reset = "UNREADMsgs=0\r\nRequireUserConfirmation=0\r\nMSGId=0\r\nSubject=\r\n";
  struct Case {
    const char* before;  // nullptr: no file
    std::string after;
  };
  const Case cases[] = {
      {nullptr, "[MsgCount]\r\n" + reset},
      {"[MsgCount]\r\nUNREADMsgs=4\r\nMSGId=7\r\n",
       "[MsgCount]\r\nUNREADMsgs=0\r\nMSGId=0\r\nRequireUserConfirmation=0\r\nSubject=\r\n"},
      {"[MsgCount]\r\nTotalMsgs=  \r\n", "[MsgCount]\r\nTotalMsgs=\r\n" + reset},
      {"[MsgCount]\r\nTotalMsgs=0\r\n", "[MsgCount]\r\nTotalMsgs=0\r\n" + reset},
      {"[MsgCount]\r\nTotalMsgs=abc\r\nSubject=old\r\n",
       "[MsgCount]\r\nTotalMsgs=abc\r\nSubject=\r\nUNREADMsgs=0\r\nRequireUserConfirmation=0\r\nMSGId=0\r\n"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(inbox);
    if (c.before) box.write("nfyDeskInbox_user.ini", c.before);
    FncFixMisMatch();
    EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), c.after) << (c.before ? c.before : "no file");
  }

  CapturedLog log(box);
  const std::string full = "[MsgCount]\r\nTotalMsgs=3\r\nUNREADMsgs=2\r\nMSGId=101\r\n\r\n[101]\r\nSubject=s\r\n";
  box.write("nfyDeskInbox_user.ini", full);
  FncFixMisMatch();
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), full);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(IniAccess, ReadsFromOneFileAndWritesToAnother) {
  sInboxINI_Read = box.path("nfyDeskInbox_user_copy.ini");
  box.write("nfyDeskInbox_user_copy.ini", "[MsgCount]\r\nTotalMsgs=0\r\n[201]\r\nSubject=x\r\n");
  FncFixMisMatch();
  EXPECT_EQ(get("MsgCount", "UNREADMsgs", sInboxINI_Read), "");
  EXPECT_EQ(get("MsgCount", "UNREADMsgs", sInboxINI_Write), "0");
  EXPECT_EQ(fncGetSectionNames(), "201");
  writeSummary("Subject", "New");
  EXPECT_EQ(readIni("MsgCount", "Subject"), "");
  EXPECT_EQ(get("MsgCount", "Subject", sInboxINI_Write), "New");
}

// Other programs change the file between two calls; every call sees the
// file as it is, while an unchanged file is not parsed again.
TEST_F(IniAccess, SeesChangesByOtherProgramsAndParsesOnlyChangedFiles) {
  fncwriteToINI("101", "ReadStatus", "UnRead", inbox);
  unsigned long parsed = ini::parseCount();
  for (int i = 0; i < 200; ++i) get("101", "ReadStatus");
  fncwriteToINI("101", "Subject", "s", inbox);
  EXPECT_EQ(ini::parseCount(), parsed);

  // Rewritten in place, in the same instant, at the same size.
  box.write("nfyDeskInbox_user.ini", "[101]\r\nReadStatus=READ  \r\nSubject=s\r\n");
  EXPECT_EQ(get("101", "ReadStatus"), "READ");
  box.write("nfyDeskInbox_user.ini", "[101]\r\nReadStatus=UnREAD\r\nSubject=s\r\n");
  EXPECT_EQ(get("101", "ReadStatus"), "UnREAD");
  // Replaced by another file, and removed.
  box.write("other.ini", "[102]\r\nk=v\r\n");
  std::filesystem::rename(box.path("other.ini"), inbox);
  EXPECT_EQ(fncGetSectionNames(), "102");
  std::filesystem::remove(inbox);
  EXPECT_EQ(fncGetSectionNames(), "");
  fncwriteToINI("103", "k", "v", inbox);
  EXPECT_EQ(box.read("nfyDeskInbox_user.ini"), "[103]\r\nk=v\r\n");
}

// After one wait for the lock ran out, the writes that follow while the same
// holder keeps it fail at once, each with its line (a wait of each would
// hang this test), and the first write after the holder let go succeeds.
TEST_F(IniAccess, AWriteFailsWhenTheLockStaysTakenPastTheWaitAndLaterOnesAtOnce) {
  CapturedLog log(box);
  ini::setLockWait(50);
  platform::FileLock other;
  ASSERT_TRUE(other.open(inbox + ".lock") && other.lock(0));
  fncwriteToINI("101", "k", "v", inbox);
  ini::setLockWait(600000);
  for (int i = 0; i < 20; ++i) fncwriteToINI("101", "k", "u", inbox);
  {
    IniWriteScope scope(inbox);
    fncwriteToINI("101", "k", "u", inbox);
  }
  auto lines = log.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ERR : Failed to write to the INI"), 22);
  other.unlock();
  ini::setLockWait(5000);
  fncwriteToINI("101", "k", "w", inbox);
  for (int i = 0; i < 1000 && get("101", "k") != "w"; ++i) {
    platform::sleepMs(5);  // the given-up wait lets go of the lock it got
    fncwriteToINI("101", "k", "w", inbox);
  }
  EXPECT_EQ(get("101", "k"), "w");
}

// readValues gives each key what readValue gives it, for the names a read
// trims, folds, mends or cannot find, in a UTF-8 file and a single-byte one.
TEST_F(IniAccess, ReadValuesAndSectionValuesGiveWhatReadValueGives) {
  box.write("utf8.ini",
            "\xEF\xBB\xBF[A b]\r\nk=1\r\n quoted = \" q \" \r\nnoeq\r\n\xC3\xA9t\xC3\xA9=\xC3\xA9\r\n=nameless\r\n"
            "[a B]\r\nk=second\r\n");
  // Keys asked for twice, names of one length and one last letter, a name
  // longer than 32, a second key of a name (the first counts, also one
  // without "=").
  box.write("ansi.ini",
            "top=t\r\n[A b]\r\nk=1\r\nK=dup\r\nquoted='q'\r\nnoeq\r\nNOEQ=later\r\n\xE9=\xE9\r\nLiveDate=d\r\n"
            "livedays=7\r\nLiveDaze=z\r\nA-name-of-more-than-thirty-two-letters=long\r\n[S]\r\nk=s\r\n");
  const std::vector<std::string> sections = {"a b", " A B\t", "A\r\nb", "A b\n", "missing", "", "S"};
  constexpr std::string_view kKeys[] = {
      "k", " QUOTED ", "noeq",     "missing",  "\xC3\xA9t\xC3\xA9", "\xE9", "k\r\n",
      "",  "top",      "livedays", "LIVEDATE", "LiveDaze",          "K",    "a-name-of-more-than-thirty-two-letters"};
  for (const char* name : {"utf8.ini", "ansi.ini"}) {
    const std::string file = box.path(name);
    for (const std::string& section : sections) {
      std::vector<std::string> one;
      for (std::string_view key : kKeys) one.push_back(ini::readValue(file, section, key));
      EXPECT_EQ(ini::readValues(file, section,
                                {kKeys[0], kKeys[1], kKeys[2], kKeys[3], kKeys[4], kKeys[5], kKeys[6], kKeys[7],
                                 kKeys[8], kKeys[9], kKeys[10], kKeys[11], kKeys[12], kKeys[13]}),
                one)
          << name << " [" << section << "]";
    }
  }
  // Every section that reads find, with one key's value: a read of each.
  for (const char* name : {"utf8.ini", "ansi.ini"}) {
    const std::string file = box.path(name);
    for (std::string_view key : {"k", " QUOTED ", "noeq", "missing", "\xC3\xA9t\xC3\xA9", "\xE9", ""}) {
      std::vector<std::pair<std::string, std::string>> each;
      for (const std::string& section : ini::sectionNames(file)) {
        if (std::none_of(each.begin(), each.end(), [&](const auto& e) { return toLower(e.first) == toLower(section); }))
          each.emplace_back(section, ini::readValue(file, section, key));
      }
      EXPECT_EQ(ini::sectionValues(file, key), each) << name << " " << key;
    }
  }
  EXPECT_TRUE(ini::sectionValues(box.path("none.ini"), "k").empty());
  EXPECT_EQ(ini::readValues("utf8.ini", "a b", {"k", "noeq"}), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(ini::readValues(box.path("none.ini"), "a b", {"k"}), (std::vector<std::string>{""}));
  std::filesystem::create_directory(box.path("folder.ini"));
  EXPECT_ANY_THROW(ini::readValue(box.path("folder.ini"), "a", "k"));
  EXPECT_ANY_THROW(ini::readValues(box.path("folder.ini"), "a", {"k"}));
  EXPECT_ANY_THROW(ini::sectionValues(box.path("folder.ini"), "k"));
  EXPECT_ANY_THROW(ini::sectionValues("utf8.ini", "k"));
}

// The counts follow the first section of each name (case aside), whatever
// the spelling of the values; only the counts that differ are written.
TEST_F(IniAccess, CountsFollowTheFirstSectionOfEachName) {
  auto counts = [](const std::string& text, bool& changed) {
    ini::Document doc = ini::Document::parse(text);
    ini::KeyEdit edit(doc);
    keepInboxCountsTrue(edit);
    changed = edit.changed();
    std::string out, v;
    for (const char* key : {"TotalMsgs", "UNREADMsgs", "RequireUserConfirmation"}) {
      doc.value("MsgCount", key, v);
      out += v + ",";
    }
    return out;
  };
  bool changed = false;
  const std::string inbox =
      "[MsgCount]\r\nTotalMsgs=9\r\nUNREADMsgs=1\r\n"
      "[1]\r\nReadStatus= read \r\n"
      "[2]\r\nReadStatus=\" Read\"\r\nRequireUserConfirmation=2x\r\n"
      "[1]\r\nReadStatus=UNREAD\r\nRequireUserConfirmation=1\r\n"
      "[3]\r\nRequireUserConfirmation= 0.5\r\nReadStatus=REA D\r\n"
      "[msgcount]\r\nReadStatus=UNREAD\r\n[]\r\nReadStatus=UNREAD\r\n[x]\r\nReadStatus\r\n";
  EXPECT_EQ(counts(inbox, changed), "4,2,2,");
  EXPECT_TRUE(changed);
  EXPECT_EQ(
      counts("[MsgCount]\r\nTotalMsgs=1\r\nUNREADMsgs=0\r\nRequireUserConfirmation=0\r\n[A]\r\nReadStatus=read\r\n",
             changed),
      "1,0,0,");
  EXPECT_FALSE(changed);
  // A UTF-8 inbox with names and values beyond ASCII.
  EXPECT_EQ(
      counts("\xEF\xBB\xBF[\xC3\xA9]\r\nReadStatus=READ\r\n[\xC3\x89]\r\nReadStatus=R\xC3\xA9\x61\x64\r\n[\xC3\xA9]\r\n"
             "[a]\r\nRequireUserConfirmation=\xC3\xA9\r\n",
             changed),
      "3,2,0,");
}

}  // namespace
}  // namespace nfy
