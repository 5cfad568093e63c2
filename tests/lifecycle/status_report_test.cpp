#include "lifecycle/status_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/globals.h"
#include "base/text.h"
#include "inbox/ini_access.h"
#include "lifecycle/expiry.h"
#include "platform/system_testing.h"
#include "support/fake_components.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

class StatusReport : public ::testing::Test {
 protected:
  void SetUp() override {
    test::resetAllGlobals();
    sInstallPath = box.path("install/");
    sDataPath = box.dir();
    box.mkdirs("install/Configuration");
    sRegID = "1234", sSiteID = "55", sMemberID = "77", sType = "1", sExeVersion = "1.0.0.1";
    endpoint("http://127.0.0.1:9/svc");
    platform::setClockForTesting([] { return DateTime{2017, 7, 15, 13, 5, 9}.toTimeT(); });
  }
  void TearDown() override {
    platform::setClockForTesting({});
    test::resetAllGlobals();
  }
  void endpoint(const std::string& url) {
    box.write("install/Configuration/nfyEndpoints.ini", "[wpdcmsendmsgdskupd]\r\nURL=" + url + "\r\n");
  }
  bool hasLine(const std::string& line) {
    auto l = log.lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  static DeliveryReport read(const std::string& id) {
    DeliveryReport r;
    r.msgId = id;
    r.dcDownloadTime = "07/14/2017 09:00:00";
    r.informedTo = "";
    r.repliedBy = "";
    r.status = "7";
    return r;
  }

  test::Sandbox box;
  test::CapturedLog log{box};
  test::FakeComponents fakes;
};

TEST_F(StatusReport, BlankTimesAreNullAndTheFifteenElementsComeInOrder) {
  DeliveryReport r = read("101");
  r.mnDownloadTime = "   ";
  r.mnDisplayTime = " 07/15/2017 13:00:00 ";
  fncPostTemplateExecutionStatus(r);
  ASSERT_EQ(fakes.poster.posts.size(), 1u);
  EXPECT_EQ(fakes.poster.posts[0].url,
            "http://127.0.0.1:9/svc/tfr_wpdcmsendmsgdskupd.asp?mmid=77&sid=55&rid=1234&rty=1");
  const std::string xml =
      "<wpdcmsendmsgdskupd><mmid>77</mmid><msgid>101</msgid><regid>1234</regid>"
      "<dcddwnldtime>07/14/2017 09:00:00</dcddwnldtime><mnddwnldtime>null</mnddwnldtime><informto></informto>"
      "<mninformtime>null</mninformtime><displayto></displayto><mndisplaytime> 07/15/2017 13:00:00 </mndisplaytime>"
      "<mnreplyby></mnreplyby><mnreplytime>null</mnreplytime><mnexptime>null</mnexptime><status>7</status>"
      "<mnrecalltime>null</mnrecalltime><exever>1.0.0.1</exever></wpdcmsendmsgdskupd>";
  EXPECT_EQ(fakes.poster.posts[0].data, xml);
  EXPECT_TRUE(hasLine("MSG : webposting " + xml));
  EXPECT_FALSE(box.exists("DeskPostLogs"));
}

TEST_F(StatusReport, EachReasonCarriesItsOwnTimes) {
  // Through the expiry pass: one message of each reason.
  sInboxINI_Write = sInboxINI_Read = box.path("inbox.ini");
  auto store = [&](const std::string& id, const char* key, const char* value) {
    fncwriteToINI(id, "Subject", "S", sInboxINI_Write);
    fncwriteToINI(id, "RepliedByUser", "me", sInboxINI_Write);
    fncwriteToINI(id, "RepliedByUserMNTime", "07/15/2017 12:00:00", sInboxINI_Write);
    fncwriteToINI(id, "DownloadedMNTime", "07/15/2017 10:00:00", sInboxINI_Write);
    fncwriteToINI(id, key, value, sInboxINI_Write);
  };
  store("1", "MsgStatus", "1");
  store("2", "TimeToLive", "0");
  fncwriteToINI("2", "TimeToLiveHrs", "1", sInboxINI_Write);
  fncDeleteExpiredMsgs();
  ASSERT_EQ(fakes.poster.posts.size(), 2u);
  const std::string& recalled = fakes.poster.posts[0].data;
  EXPECT_NE(recalled.find("<mnreplyby>me</mnreplyby><mnreplytime>null</mnreplytime><mnexptime>null</mnexptime>"
                          "<status>4</status><mnrecalltime>07/15/2017 13:05:09</mnrecalltime>"),
            std::string::npos)
      << recalled;
  const std::string& expired = fakes.poster.posts[1].data;
  EXPECT_NE(expired.find("<mnreplytime>07/15/2017 12:00:00</mnreplytime><mnexptime>07/15/2017 13:05:09</mnexptime>"
                         "<status>2</status><mnrecalltime>null</mnrecalltime>"),
            std::string::npos)
      << expired;
}

TEST_F(StatusReport, AFailedPostIsSavedUnderTheDataFolderMadeWhenMissing) {
  fakes.poster.succeed = false;
  DeliveryReport r = read("101");
  r.repliedBy = "Tom & Jerry <tj>";
  fncPostTemplateExecutionStatus(r);
  const std::string name = "wpdcmsendmsgdskupd_N_1234_101_071520171305099.xml";
  ASSERT_TRUE(box.exists("DeskPostLogs/" + name));
  const std::string saved = box.read("DeskPostLogs/" + name);
  EXPECT_EQ(saved, fakes.poster.posts.at(0).data + "\r\n");
  EXPECT_NE(saved.find("<mnreplyby>Tom &amp; Jerry &lt;tj&gt;</mnreplyby>"), std::string::npos);
  EXPECT_TRUE(hasLine("MSG : Preprocessing : Creating Folder " + box.path("DeskPostLogs")));
  EXPECT_TRUE(hasLine("MSG : Creating File " + box.path("DeskPostLogs/" + name)));

  // Seconds from 10 on: the second field has two digits too. The folder is
  // there now; the same name is overwritten.
  platform::setClockForTesting([] { return DateTime{2017, 7, 15, 13, 5, 45}.toTimeT(); });
  fncPostTemplateExecutionStatus(read("102"));
  fncPostTemplateExecutionStatus(read("102"));
  EXPECT_TRUE(box.exists("DeskPostLogs/wpdcmsendmsgdskupd_N_1234_102_0715201713054545.xml"));
  auto l = log.lines();
  EXPECT_EQ(std::count_if(l.begin(), l.end(), [](auto& s) { return s.find("Creating Folder") != s.npos; }), 1);
}

TEST_F(StatusReport, ABlankEndpointIsLoggedAndTheReportSaved) {
  endpoint("  ");
  fakes.poster.succeed = false;
  fncPostTemplateExecutionStatus(read("5"));
  EXPECT_TRUE(hasLine("ERR: Unable to find url in wpdcmsendmsgdskupd"));
  ASSERT_EQ(fakes.poster.posts.size(), 1u);
  EXPECT_EQ(fakes.poster.posts[0].url, "");
  EXPECT_TRUE(box.exists("DeskPostLogs/wpdcmsendmsgdskupd_N_1234_5_071520171305099.xml"));
}

TEST_F(StatusReport, AnIdThatIsNoFileNameCannotLeadTheSavedFileElsewhere) {
  fakes.poster.succeed = false;
  fncPostTemplateExecutionStatus(read("../../x"));
  EXPECT_TRUE(box.exists("DeskPostLogs/wpdcmsendmsgdskupd_N_1234_.._.._x_071520171305099.xml"));
}

TEST_F(StatusReport, AReportThatCannotBeSavedIsLogged) {
  fakes.poster.succeed = false;
  box.write("DeskPostLogs", "a file where the folder should be");
  fncPostTemplateExecutionStatus(read("6"));
  auto l = log.lines();
  EXPECT_TRUE(std::any_of(l.begin(), l.end(),
                          [](auto& s) { return s.rfind("ERR : fncPostTemplateExecutionStatus, ", 0) == 0; }));
}

}  // namespace
}  // namespace nfy
