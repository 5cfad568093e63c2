#include <gtest/gtest.h>

#include "app/globals.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "lifecycle/user_status.h"
#include "support/fake_components.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

class Confirmation : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInstallPath = sDataPath = box.dir();
    sInboxINI_Write = sInboxINI_Read = box.path("inbox.ini");
  }
  void TearDown() override { test::resetAllGlobals(); }
  void write(const std::string& s, const std::string& k, const std::string& v) {
    fncwriteToINI(s, k, v, sInboxINI_Write);
  }
  std::string ini(const std::string& section, const std::string& key) {
    std::string v;
    fncReadFromINI(v, section, key, sInboxINI_Read);
    return v;
  }
  test::Sandbox box;
  test::CapturedLog log{box};
  test::FakeComponents fakes;
};

TEST_F(Confirmation, TheConfirmedMessageIsNotAskedForAgain) {
  write("1", "RequireUserConfirmation", "1");
  write("1", "Subject", "First");
  write("2", "RequireUserConfirmation", "1");
  write("2", "Subject", "Second");
  write("MsgCount", "RequireUserConfirmation", "2");
  write("MsgCount", "MSGId", "1");
  sConfirmMsgID = "1";
  fncUpdateConfirmationCount();
  EXPECT_EQ(ini("1", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "1");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "2");
  EXPECT_EQ(ini("MsgCount", "Subject"), "Second");

  sConfirmMsgID = "2";
  fncUpdateConfirmationCount();
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "0");
  EXPECT_EQ(ini("MsgCount", "MSGId"), "");
  EXPECT_EQ(ini("MsgCount", "Subject"), "");
}

TEST_F(Confirmation, AnUnknownOrZeroIdMakesNoSectionAndABadCountIsMadeTrue) {
  write("MsgCount", "RequireUserConfirmation", "x");
  sConfirmMsgID = "9";
  fncUpdateConfirmationCount();
  EXPECT_EQ(fncGetSectionNames(), "");
  EXPECT_EQ(ini("MsgCount", "RequireUserConfirmation"), "0");
}

TEST_F(Confirmation, ABlankFlagIsNoConfirmationAndTheSearchGoesOn) {
  write("1", "RequireUserConfirmation", "");
  write("2", "RequireUserConfirmation", " 1 ");
  write("2", "Subject", "Two");
  fncSetSubject();
  EXPECT_EQ(ini("MsgCount", "MSGId"), "2");
  // A flag that is not a number still stops the search.
  write("1", "RequireUserConfirmation", "yes");
  write("MsgCount", "MSGId", "");
  fncSetSubject();
  EXPECT_EQ(ini("MsgCount", "MSGId"), "");
  auto l = log.lines();
  EXPECT_EQ(l.back(), "ERR : fncSetSubject, Type mismatch");
}

TEST_F(Confirmation, UserStatusSaysWhetherItWasPosted) {
  box.write("Configuration/nfyEndpoints.ini", "[wpdcmgetmsgs]\r\nURL=http://127.0.0.1:9/svc/\r\n");
  EXPECT_FALSE(fncUpdateUserStatus("0", "1"));
  EXPECT_TRUE(fakes.poster.posts.empty());
  EXPECT_TRUE(fncUpdateUserStatus("5", "1"));
  fakes.poster.succeed = false;
  EXPECT_FALSE(fncUpdateUserStatus("5", "1"));
  EXPECT_EQ(fakes.poster.posts.size(), 2u);
}

}  // namespace
}  // namespace nfy
