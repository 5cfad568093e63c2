#include "base/text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/errors.h"
#include "platform/clock.h"

namespace nfy {
namespace {

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
  EXPECT_EQ(leadingNumber("0"), 0);
  EXPECT_EQ(leadingNumber(""), 0);
  EXPECT_EQ(leadingNumber("abc"), 0);
  EXPECT_EQ(leadingNumber("0012x"), 12);
  EXPECT_EQ(leadingNumber("  7 apples"), 7);
  EXPECT_EQ(leadingNumber("-3"), -3);
  EXPECT_EQ(leadingNumber("+4"), 4);
  EXPECT_EQ(leadingNumber("2.5.1"), 2.5);
  EXPECT_EQ(leadingNumber(".5"), 0.5);
  EXPECT_EQ(leadingNumber("-"), 0);
  EXPECT_EQ(leadingNumber("."), 0);
  EXPECT_EQ(leadingNumber("1e5"), 1);  // no exponent: reading stops at "e"
  EXPECT_EQ(leadingNumber("\t9"), 9);
  // Whole numbers are read exactly at every length, on either side of the
  // 15 digits that are summed without strtod.
  EXPECT_EQ(leadingNumber("999999999999999"), 999999999999999.0);
  EXPECT_EQ(leadingNumber("-123456789012345x"), -123456789012345.0);
  EXPECT_EQ(leadingNumber("12345678901234567890"), 12345678901234567890.0);
  EXPECT_EQ(leadingNumber("00000000000000000007"), 7);
  EXPECT_TRUE(std::signbit(leadingNumber("-0")));
}

TEST(StrictNumber, AcceptsOnlyWholeNumbers) {
  EXPECT_EQ(strictNumber("42"), 42);
  EXPECT_EQ(strictNumber("  -1.5 "), -1.5);
  EXPECT_EQ(strictNumber("1e3"), 1000);
  for (const char* bad : {"", " ", "abc", "12x", "1 2", "--1", ".", "1e", "0x10"}) {
    try {
      strictNumber(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 13) << bad;
      EXPECT_EQ(e.description(), "Type mismatch");
    }
  }
  EXPECT_THROW(strictNumber("1e999"), RuntimeError);
}

TEST(NumberText, IsTheShortestDecimal) {
  EXPECT_EQ(numberText(0), "0");
  EXPECT_EQ(numberText(-0.0), "0");
  EXPECT_EQ(numberText(3), "3");
  EXPECT_EQ(numberText(-1), "-1");
  EXPECT_EQ(numberText(12), "12");
  EXPECT_EQ(numberText(2.5), "2.5");
  EXPECT_EQ(numberText(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(numberText(leadingNumber("5") + 1), "6");
  EXPECT_EQ(numberText(1e20), "1E+20");
}

TEST(Stamps, UseFixedSeparatorsAndTwoDigitFields) {
  std::tm t{};
  t.tm_year = 2017 - 1900, t.tm_mon = 6, t.tm_mday = 5, t.tm_hour = 3, t.tm_min = 5, t.tm_sec = 9;
  EXPECT_EQ(stampDateTime(t), "07/05/2017 03:05:09");
  EXPECT_EQ(stampFileDate(t), "07052017");
  EXPECT_EQ(stampFileTime(t), "030509");
  EXPECT_EQ(stampSortable(t), "20170705030509");
  std::string now = platform::nowStamp();
  ASSERT_EQ(now.size(), 19u);
  EXPECT_EQ(now[2], '/');
  EXPECT_EQ(now[13], ':');
}

TEST(StoredDateTime, ReadsMonthFirstAndIsoForms) {
  EXPECT_EQ(parseStoredDateTime("07/15/2017 13:05:09"), (DateTime{2017, 7, 15, 13, 5, 9}));
  EXPECT_EQ(parseStoredDateTime("7/5/2017 1:05 PM"), (DateTime{2017, 7, 5, 13, 5, 0}));
  EXPECT_EQ(parseStoredDateTime("7/5/2017 12:00:01 AM"), (DateTime{2017, 7, 5, 0, 0, 1}));
  EXPECT_EQ(parseStoredDateTime("7/5/2017 12:30 pm"), (DateTime{2017, 7, 5, 12, 30, 0}));
  EXPECT_EQ(parseStoredDateTime("02/29/2020"), (DateTime{2020, 2, 29, 0, 0, 0}));
  EXPECT_EQ(parseStoredDateTime("2017-07-15T13:05"), (DateTime{2017, 7, 15, 13, 5, 0}));
  EXPECT_EQ(parseStoredDateTime("2017-07-15 13:05:09"), (DateTime{2017, 7, 15, 13, 5, 9}));
  EXPECT_EQ(parseStoredDateTime("2017-07-15"), (DateTime{2017, 7, 15, 0, 0, 0}));
  EXPECT_EQ(parseStoredDateTime(" 07/15/2017 13:05:09 "), (DateTime{2017, 7, 15, 13, 5, 9}));
}

TEST(StoredDateTime, RefusesAnythingElseWithTypeMismatch) {
  for (const char* bad : {"", "abc", "13/01/2017", "02/30/2017", "02/29/2019", "07/15/17", "07/15/2017 24:00",
                          "07/15/2017 13:60", "07/15/2017 13:05:60", "07/15/2017 13:05 XM", "07/15/2017 0:05 AM",
                          "2017-7-15", "2017-07-15X13:05", "15.07.2017", "07/15/2017 13", "07/15/2017 1:05 PM x"}) {
    try {
      parseStoredDateTime(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 13) << bad;
    }
  }
}

TEST(StoredDateTime, RoundTripsThroughTheStampAndArithmetic) {
  DateTime d{2017, 12, 31, 23, 30, 0};
  EXPECT_EQ(parseStoredDateTime(d.stamp()), d);
  EXPECT_EQ(d.plusSeconds(3600), (DateTime{2018, 1, 1, 0, 30, 0}));
  EXPECT_EQ(platform::localDateTime(d.toTimeT()), d);
  EXPECT_LT(d, d.plusSeconds(1));
}

TEST(TextHelpers, SplitKeepsEmptyAndUntrimmedPieces) {
  EXPECT_EQ(splitAt("101, 102,,x", ','), (std::vector<std::string>{"101", " 102", "", "x"}));
  EXPECT_EQ(splitAt("", ','), (std::vector<std::string>{""}));
  EXPECT_EQ(splitAt("a,", ','), (std::vector<std::string>{"a", ""}));
}

TEST(TextHelpers, CompareAndTrimLikeTheProgram) {
  EXPECT_EQ(trim("  a b  "), "a b");
  EXPECT_EQ(trim("\ta\t"), "\ta\t");  // only blanks are trimmed
  EXPECT_TRUE(iequals("UnReadMsgs", "UNREADMSGS"));
  EXPECT_FALSE(iequals("abc", "abcd"));
  EXPECT_TRUE(icontains("C:\\programdata", "ProgramData"));
  EXPECT_EQ(replaceAll("a\r\nb\r\n", "\r\n", ""), "ab");
}

}  // namespace
}  // namespace nfy
