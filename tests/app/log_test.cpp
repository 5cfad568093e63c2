// The run log: its file name, the banner, CR LF lines, append versus create.
#include "app/log.h"

#include <gtest/gtest.h>

#include <regex>

#include "app/end.h"
#include "base/errors.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

const std::regex kLine(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\t.*)");

std::vector<std::string> rawLines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "a line without CR LF";
    if (end == std::string::npos) break;
    out.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

TEST(LogFileName, JoinsProgramRegIdDateUserAndTheTimeWhenAnotherInstanceRuns) {
  EXPECT_TRUE(std::regex_match(logFileName("nfyDeskNotify", "1234", "user1", false),
                               std::regex(R"(nfyDeskNotify_1234_\d{8}_user1\.txt)")));
  EXPECT_TRUE(std::regex_match(logFileName("nfyDeskNotify", "1234", "user1", true),
                               std::regex(R"(nfyDeskNotify_1234_\d{8}_\d{6}_user1\.txt)")));
  EXPECT_TRUE(std::regex_match(logFileName("prog", "", "", false), std::regex(R"(prog__\d{8}_\.txt)")));
}

TEST(LogFile, IsCreatedWithABannerAndAppendedToAfterANewOne) {
  test::Sandbox box;
  std::string path = box.path("run.txt");
  openLog(path);
  subWriteLog("MSG : first run");
  subWriteLog("a\ttab inside");
  subWriteLog("");
  closeLog();
  subWriteLog("dropped: the log is closed");
  closeLog();  // closing twice is harmless

  openLog(path);
  subWriteLog("MSG : second run");
  closeLog();

  auto lines = rawLines(test::readFile(path));
  ASSERT_EQ(lines.size(), 10u);
  const std::string stars(85, '*');
  std::vector<std::string> messages;
  for (const auto& l : lines) {
    EXPECT_TRUE(std::regex_match(l, kLine)) << l;
    messages.push_back(l.substr(l.find('\t') + 1));
  }
  EXPECT_EQ(messages, (std::vector<std::string>{
                          stars, "MSG : Preprocessing : Application started", stars, "MSG : first run", "a\ttab inside",
                          "", stars, "MSG : Preprocessing : Application started", stars, "MSG : second run"}));
  EXPECT_EQ(lines[5].back(), '\t');  // an empty message ends right after the tab
}

TEST(LogFile, ValuesCannotBreakALineAndLongOnesAreCutToTheirStartAndLength) {
  test::Sandbox box;
  openLog(box.path("run.txt"));
  // An id from the service that would forge a line of its own.
  subWriteLog("ERR : unsafe message id 1\r\n12/09/2026 06:00:00\tMSG : forged\n\x1b[2J\x7f\x01\tend");
  std::string body(4095, 'b');
  subWriteLog("sXMLString : " + logExcerpt(body + "\xC3\xA9" + "rest"));
  subWriteLog("sXMLString : " + logExcerpt(std::string(4096, 'c')));
  closeLog();

  auto lines = rawLines(test::readFile(box.path("run.txt")));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3].substr(lines[3].find('\t') + 1),
            "ERR : unsafe message id 1\\r\\n12/09/2026 06:00:00\tMSG : forged\\n\\x1b[2J\\x7f\\x01\tend");
  // Not inside the two bytes of "\xC3\xA9" that straddle the cut.
  EXPECT_EQ(lines[4].substr(lines[4].find('\t') + 1), "sXMLString : " + body + " ... (4101 bytes)");
  EXPECT_EQ(lines[5].substr(lines[5].find('\t') + 1), "sXMLString : " + std::string(4096, 'c'));
}

// A control character is escaped wherever it stands in a line, long or
// short; tab, blank, "~" and bytes from 0x80 are shown as they are.
TEST(LogFile, ControlCharactersAreEscapedAtEveryPlaceOfALine) {
  std::vector<std::string> shown;
  setLogSink([&](const std::string& line) { shown.push_back(line); });
  const std::vector<std::pair<char, std::string>> cases = {{'\x01', "\\x01"}, {'\x1f', "\\x1f"}, {'\x7f', "\\x7f"},
                                                           {'\n', "\\n"},     {'\t', "\t"},      {' ', " "},
                                                           {'~', "~"},        {'\x80', "\x80"},  {'\xff', "\xff"}};
  for (const auto& [c, escaped] : cases) {
    for (size_t at = 0; at < 19; ++at) {
      std::string line(19, 'a');
      line[at] = c;
      shown.clear();
      subWriteLog(line);
      std::string expected(19, 'a');
      expected.replace(at, 1, escaped);
      ASSERT_EQ(shown, std::vector<std::string>{expected}) << static_cast<int>(c) << " at " << at;
    }
  }
  setLogSink(nullptr);
}

TEST(LogFile, AFolderThatIsMissingIsAnErrorForStartUpToTrap) {
  test::Sandbox box;
  EXPECT_THROW(openLog(box.path("missing/run.txt")), RuntimeError);
  EXPECT_FALSE(logIsOpen());
  subWriteLog("nowhere to go");  // dropped without a trace
}

TEST(EndOfRun, WritesTheLastLineClosesTheLogAndGetsPastErrorTraps) {
  test::Sandbox box;
  test::CapturedLog log(box);
  bool trapped = false, ended = false;
  try {
    try {
      subEndApplication();
    } catch (const std::exception&) {
      trapped = true;
    }
  } catch (const RunEnded&) {
    ended = true;
  }
  EXPECT_FALSE(trapped);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(logIsOpen());
  EXPECT_EQ(log.lines(), std::vector<std::string>{"MSG : Application Ended."});
  // Before the log is open nothing is written, and the run still ends.
  EXPECT_THROW(subEndApplication(), RunEnded);
}

}  // namespace
}  // namespace nfy
