#include "resend_test_support.h"

namespace nfy::test {
namespace {

TEST_F(ResendPass, SendsOldestFirstAsSavedAndDeletesOnlyWhatTheServiceAccepted) {
  report("103", 1);
  report("101", 5);
  report("102", 3);
  file("notes.txt", "not a report", 9);
  file("wpdcmsendmsgdskupd_N_1234_100_1.txt", "not a report either", 9);
  // The second post is refused as the Linux poster reports a refusal.
  fakes.poster.failAt[1] = {"HTTP status 500", "500", kUrl};

  resend::PassOutcome out = pass();

  EXPECT_EQ(postedBodies(), (std::vector<std::string>{posted("101"), posted("102"), posted("103")}));
  for (const auto& p : fakes.poster.posts) EXPECT_EQ(p.url, kUrl);
  EXPECT_FALSE(kept("101"));
  EXPECT_TRUE(kept("102"));
  EXPECT_FALSE(kept("103"));
  EXPECT_TRUE(box.exists("DeskPostLogs/notes.txt"));
  EXPECT_TRUE(box.exists("DeskPostLogs/wpdcmsendmsgdskupd_N_1234_100_1.txt"));
  EXPECT_EQ(out.delivered, 2);
  EXPECT_EQ(out.refused, 1);
  EXPECT_EQ(linesWith("MSG : nfyDeskResend : refused (HTTP 500), kept for a later run: " + name("102")), 1u);
}

TEST_F(ResendPass, AReportSavedAgainUnderItsNameWhileItWasSentIsKept) {
  report("111", 2);
  const std::string again = body("111") + "<!-- saved again -->";
  fakes.poster.whilePosting = [&] { box.write("DeskPostLogs/" + name("111"), again); };

  pass();

  EXPECT_EQ(box.read("DeskPostLogs/" + name("111")), again);
  EXPECT_EQ(linesWith(name("111") + " changed while it was sent; kept"), 1u);
}

TEST_F(ResendPass, AServiceThatCannotBeReachedEndsThePassAndKeepsEveryReport) {
  report("201", 3);
  report("202", 2);
  report("203", 1);
  fakes.poster.succeed = false;
  fakes.poster.details = {"Failed to connect to 127.0.0.1 port 9", "0", kUrl};

  resend::PassOutcome out = pass();

  EXPECT_EQ(postedBodies(), std::vector<std::string>{posted("201")});
  EXPECT_TRUE(kept("201") && kept("202") && kept("203"));
  EXPECT_TRUE(out.unreachable);
  EXPECT_EQ(linesWith("MSG : nfyDeskResend : the service cannot be reached; 3 reports wait for the next run"), 1u);
}

TEST_F(ResendPass, AReportRefusedForThirtyDaysIsMovedAsideWithOneLine) {
  report("301", 31);
  report("302", 29);
  // The form in which the Windows test component reports a refusal.
  fakes.poster.succeed = false;
  fakes.poster.details = {"HTTP 404", kUrl, ""};

  resend::PassOutcome out = pass();

  EXPECT_EQ(fakes.poster.posts.size(), 2u);
  EXPECT_FALSE(kept("301"));
  EXPECT_EQ(box.read("DeskPostLogs/undeliverable/" + name("301")), body("301"));
  EXPECT_TRUE(kept("302"));
  EXPECT_EQ(out.moved, 1);
  EXPECT_EQ(out.refused, 1);
  EXPECT_EQ(linesWith("moved to"), 1u);

  // The folder of moved reports is not sent from again.
  fakes.poster.posts.clear();
  pass();
  EXPECT_EQ(postedBodies(), std::vector<std::string>{posted("302")});
}

TEST_F(ResendPass, OneRunLooksAtNoMoreReportsThanItsCap) {
  report("401", 3);
  report("402", 2);
  report("403", 1);
  resend::PassLimits limits;
  limits.maxReports = 2;

  resend::PassOutcome out = pass(limits);

  EXPECT_EQ(postedBodies(), (std::vector<std::string>{posted("401"), posted("402")}));
  EXPECT_TRUE(out.capped);
  EXPECT_TRUE(kept("403"));
  EXPECT_EQ(linesWith("MSG : nfyDeskResend : 2 reports looked at in this run; 1 wait for the next one"), 1u);
  pass(limits);
  EXPECT_FALSE(kept("403"));
}

}  // namespace
}  // namespace nfy::test
