#include "bridges/desk_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/globals.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

using Lines = std::vector<std::string>;

class DeskTemplate : public ::testing::Test {
 protected:
  void SetUp() override { test::resetAllGlobals(); }
  void TearDown() override { test::resetAllGlobals(); }

  // Writes the template and reads it; the log lines of the read end up in log.
  bool read(const std::string& xml) {
    box.write("nfyDeskMenu.xml", xml);
    return fncParseDeskTemplateXML(box.path("nfyDeskMenu.xml"));
  }

  test::Sandbox box;
  test::CapturedLog log{box};
};

TEST_F(DeskTemplate, ReadsBodyAndTitleFromTheTemplateNode) {
  EXPECT_TRUE(
      read("<?xml version=\"1.0\"?>\r\n<nfydesk>\r\n <dcmgetclientcommtemplate>\r\n"
           "  <desksmsmsg>  You have new messages  </desksmsmsg>\r\n  <!-- the title -->\r\n"
           "  <inboxtitle> Desk <b>Inbox</b> </inboxtitle>\r\n </dcmgetclientcommtemplate>\r\n</nfydesk>\r\n"));
  EXPECT_EQ(sPopupMessage, "You have new messages");
  EXPECT_EQ(sInboxTitle, "Desk Inbox");
  EXPECT_EQ(log.lines(), Lines{"MSG : Popup message :: Desk Inbox"});
}

TEST_F(DeskTemplate, TheTemplateNodeMayBeTheDocumentElementAndNamesIgnoreCase) {
  EXPECT_TRUE(
      read("<dcmgetclientcommtemplate><DeskSmsMsg>Body</DeskSmsMsg>"
           "<INBOXTITLE>Title</INBOXTITLE></dcmgetclientcommtemplate>"));
  EXPECT_EQ(sPopupMessage, "Body");
  EXPECT_EQ(sInboxTitle, "Title");
}

TEST_F(DeskTemplate, PrefersTheClientTemplateOverTheFallbackInEitherOrder) {
  const std::string client =
      "<dcmgetclientcommtemplate><desksmsmsg>client</desksmsmsg><inboxtitle>C</inboxtitle>"
      "</dcmgetclientcommtemplate>";
  const std::string fallback =
      "<dcmtesttoolgetcctmpmemb><desksmsmsg>tool</desksmsmsg><inboxtitle>T</inboxtitle></dcmtesttoolgetcctmpmemb>";
  for (const auto& xml : {"<r>" + client + fallback + "</r>", "<r>" + fallback + client + "</r>"}) {
    test::resetAllGlobals();
    EXPECT_TRUE(read(xml));
    EXPECT_EQ(sPopupMessage, "client");
    EXPECT_EQ(sInboxTitle, "C");
  }
  // Without the client template the fallback is read; the first of several counts.
  test::resetAllGlobals();
  EXPECT_TRUE(read("<r><x>" + fallback +
                   "</x><dcmtesttoolgetcctmpmemb><inboxtitle>second</inboxtitle>"
                   "</dcmtesttoolgetcctmpmemb></r>"));
  EXPECT_EQ(sPopupMessage, "tool");
  EXPECT_EQ(sInboxTitle, "T");
}

TEST_F(DeskTemplate, OnlyTheLastBodyBeforeTheFirstTitleCounts) {
  EXPECT_TRUE(
      read("<t><dcmgetclientcommtemplate><desksmsmsg>one</desksmsmsg>text<desksmsmsg>two</desksmsmsg>"
           "<inboxtitle>first</inboxtitle><desksmsmsg>three</desksmsmsg><inboxtitle>second</inboxtitle>"
           "</dcmgetclientcommtemplate></t>"));
  EXPECT_EQ(sPopupMessage, "two");
  EXPECT_EQ(sInboxTitle, "first");

  test::resetAllGlobals();
  EXPECT_TRUE(
      read("<dcmgetclientcommtemplate><inboxtitle>T</inboxtitle><desksmsmsg>late</desksmsmsg>"
           "</dcmgetclientcommtemplate>"));
  EXPECT_EQ(sPopupMessage, "");
  EXPECT_EQ(sInboxTitle, "T");
}

TEST_F(DeskTemplate, AnEmptyTitleStillCounts) {
  EXPECT_TRUE(read("<dcmgetclientcommtemplate><inboxtitle>   </inboxtitle></dcmgetclientcommtemplate>"));
  EXPECT_EQ(sInboxTitle, "");
  EXPECT_EQ(log.lines(), Lines{"MSG : Popup message :: "});
}

TEST_F(DeskTemplate, NothingButDirectElementChildrenMatch) {
  // Nested one level deeper, in a comment, as text or in CDATA: not found.
  sInboxTitle = "before";
  EXPECT_FALSE(
      read("<dcmgetclientcommtemplate><g><desksmsmsg>deep</desksmsmsg><inboxtitle>deep</inboxtitle></g>"
           "<!--inboxtitle-->inboxtitle<![CDATA[<inboxtitle>x</inboxtitle>]]><desksmsmsg>kept</desksmsmsg>"
           "</dcmgetclientcommtemplate>"));
  EXPECT_EQ(sPopupMessage, "kept");
  EXPECT_EQ(sInboxTitle, "before");
  EXPECT_EQ(log.lines(), Lines{});
}

TEST_F(DeskTemplate, WithoutATemplateNodeTheAnswerIsFalseWithoutALogLine) {
  EXPECT_FALSE(read("<r><DcmGetClientCommTemplate><inboxtitle>T</inboxtitle></DcmGetClientCommTemplate></r>"));
  EXPECT_FALSE(read("<r><inboxtitle>T</inboxtitle></r>"));
  EXPECT_EQ(sInboxTitle, "");
  EXPECT_EQ(log.lines(), Lines{});
}

TEST_F(DeskTemplate, AnUnloadableTemplateIsLogged) {
  const std::string path = box.path("nfyDeskMenu.xml");
  const Lines failed{"ERR : Failed to load " + path};
  EXPECT_FALSE(fncParseDeskTemplateXML(path));  // missing
  EXPECT_EQ(log.lines(), failed);
  EXPECT_FALSE(read("<dcmgetclientcommtemplate><inboxtitle>T</inboxtitle>"));
  EXPECT_FALSE(
      read("<!DOCTYPE t [<!ENTITY e \"Evil\">]><dcmgetclientcommtemplate><inboxtitle>&e;</inboxtitle>"
           "</dcmgetclientcommtemplate>"));
  EXPECT_EQ(log.lines(), (Lines{failed[0], failed[0], failed[0]}));
  EXPECT_EQ(sInboxTitle, "");
}

// The child walk counts in 16 bits: 32,768 children are the most it can
// index, and walking past the last of them overflows.
std::string templateWith(long children, const std::string& first, const std::string& last) {
  std::string xml = "<dcmgetclientcommtemplate>" + first;
  for (long i = 2; i < children; ++i) xml += "<x/>";
  return xml + last + "</dcmgetclientcommtemplate>";
}

TEST_F(DeskTemplate, TheChildCounterOverflowsPastItsRange) {
  EXPECT_TRUE(read(templateWith(32768, "<desksmsmsg>B</desksmsmsg>", "<inboxtitle>T</inboxtitle>")));
  EXPECT_EQ(sInboxTitle, "T");

  test::resetAllGlobals();
  EXPECT_FALSE(read(templateWith(32768, "<desksmsmsg>B</desksmsmsg>", "<x/>")));
  EXPECT_EQ(sPopupMessage, "B");  // stored before the failure, and kept

  test::resetAllGlobals();
  EXPECT_FALSE(read(templateWith(32769, "<inboxtitle>T</inboxtitle>", "<x/>")));
  EXPECT_EQ(sInboxTitle, "");
  EXPECT_EQ(log.lines(), (Lines{"MSG : Popup message :: T", "ERR : fncParseDeskTemplateXML, Overflow",
                                "ERR : fncParseDeskTemplateXML, Overflow"}));
}

}  // namespace
}  // namespace nfy
