// Choosing the inbox file to read, and the data folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/globals.h"
#include "app/paths.h"
#include "app/startup.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

namespace fs = std::filesystem;
using paths::sep;

class LatestIni : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInstallPath = box.path("install") + sep();
    folder = box.path("data/nfyDesk/DeskInbox") + sep();
    box.mkdirs("data/nfyDesk/DeskInbox");
  }
  void TearDown() override { test::resetAllGlobals(); }

  // Writes a file in the inbox folder, modified `age` seconds ago.
  void file(const std::string& name, int age) {
    box.write("data/nfyDesk/DeskInbox/" + name, "[MsgCount]\r\n");
    fs::last_write_time(folder + name, fs::file_time_type::clock::now() - std::chrono::seconds(age));
  }

  test::Sandbox box;
  std::string folder;
  const std::string user1 = "nfyDeskInbox_user1.ini";
};

TEST_F(LatestIni, TheOnlyPerUserFileIsRead) {
  test::CapturedLog log(box);
  file(user1, 100);
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + user1);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "MSG : ReadLatestINIFile :: strFolderPath " + folder + ": strFilerFile" + user1,
                             "MSG : ReadLatestINIFile :: Folder exists",
                         }));
}

TEST_F(LatestIni, ANewerCopyOfThePerUserFileWins) {
  file(user1, 100);
  file("Copy of nfyDeskInbox_user1.ini", 10);
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + "Copy of nfyDeskInbox_user1.ini");
}

TEST_F(LatestIni, AnOlderCopyLosesAndNamesCompareWithoutCase) {
  file(user1, 10);
  file("Copy of nfyDeskInbox_user1.ini", 100);
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + user1);
  file("BACKUP NFYDESKINBOX_USER1.INI", 1);
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + "BACKUP NFYDESKINBOX_USER1.INI");
}

TEST_F(LatestIni, OnlyIniFilesHoldingThePerUserNameQualify) {
  // The shared inbox never qualifies, however new; nor do other extensions,
  // other users' files, or a folder of that name.
  file("nfyDeskInbox.ini", 1);
  file("nfyDeskInbox_user1.ini.bak", 1);
  file("nfyDeskInbox_user1.txt", 1);
  file("nfyDeskInbox_user2.ini", 1);
  box.mkdirs("data/nfyDesk/DeskInbox/x nfyDeskInbox_user1.ini");
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + user1);
  file(user1, 1000);
  EXPECT_EQ(ReadLatestINIFile(folder, user1), folder + user1);
}

TEST_F(LatestIni, AMissingFolderFallsBackToTheSharedInbox) {
  test::CapturedLog log(box);
  std::string missing = box.path("nowhere") + sep();
  EXPECT_EQ(ReadLatestINIFile(missing, user1), sInstallPath + paths::p("nfyDesk\\DeskInbox\\nfyDeskInbox.ini"));
  ASSERT_EQ(log.lines().size(), 1u);  // no "Folder exists" line
}

TEST(DataPath, FollowsAllUsersProfile) {
  const std::string install = paths::p("\\agent\\");
  const std::string s = sep();
  EXPECT_EQ(dataPathFor(s + "ProgramData", install), s + "ProgramData" + s + "VELTOR" + s);
  EXPECT_EQ(dataPathFor(s + "programdata" + s, install), s + "programdata" + s + "VELTOR" + s);
  EXPECT_EQ(dataPathFor(s + "Documents and Settings" + s + "All Users", install),
            s + "Documents and Settings" + s + "All Users" + s + "Application Data" + s + "VELTOR" + s);
  EXPECT_EQ(dataPathFor(s + "Documents and Settings" + s + "ALL USERS" + s, install),
            s + "Documents and Settings" + s + "ALL USERS" + s + "Application Data" + s + "VELTOR" + s);
  EXPECT_EQ(dataPathFor("", install), install);
  EXPECT_EQ(dataPathFor(s + "srv" + s + "shared", install), install);
}

}  // namespace
}  // namespace nfy
