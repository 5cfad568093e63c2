// Text helpers shared by every subsystem: numbers in texts, case-insensitive
// comparison, trimming, and the program's time stamps. The clock itself is a
// platform facility (platform/clock.h).
#pragma once

#include <charconv>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nfy {

// Removes leading and trailing blanks (spaces only, like the program's Trim).
std::string trim(std::string_view s);
// trim without a copy: the part of `s` between its blanks.
std::string_view trimView(std::string_view s);
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool icontains(std::string_view haystack, std::string_view needle);
bool endsWith(std::string_view s, std::string_view suffix);
// The pieces of a text between the separators, untrimmed and in order ("a,,b"
// gives "a", "", "b"; "" gives one empty piece).
std::vector<std::string> splitAt(std::string_view s, char separator);
// Replaces every occurrence of `from` (non-empty) by `to`.
std::string replaceAll(std::string_view s, std::string_view from, std::string_view to);

// The value of the number a text begins with: leading blanks, tabs and line
// breaks skipped, an
// optional sign, digits and an optional decimal part; reading stops at the
// first other character. Empty or non-numeric text gives 0. Never fails.
double leadingNumber(std::string_view s);

// The whole text (blanks around it allowed) must be a number, else run-time
// error 13 "Type mismatch". Accepts a sign, a decimal part and an exponent.
double strictNumber(std::string_view s);

// The shortest decimal text of a number: "0", "3", "-1", "2.5".
std::string numberText(double v);

// An integer written as std::to_chars writes it, and only so (no sign but a
// minus, no leading zero, lower-case digits above 9), the whole text; none
// otherwise. For the program's own records, which take no other spelling.
template <typename Integer>
std::optional<Integer> writtenInteger(std::string_view text, int base = 10) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (digits.empty() || (digits[0] == '0' && text != "0")) return std::nullopt;
  for (const char c : digits)
    if (c >= 'A' && c <= 'Z') return std::nullopt;
  Integer n{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

// "MM/DD/YYYY HH:NN:SS", the separators always "/" and ":".
std::string stampDateTime(const std::tm& t);
// "mmddyyyy" and "hhnnss", the log file name parts.
std::string stampFileDate(const std::tm& t);
std::string stampFileTime(const std::tm& t);
// "yyyymmddhhnnss", which sorts chronologically as text.
std::string stampSortable(const std::tm& t);

// A calendar date and time of day, local time.
struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  // Seconds since the epoch for this local time.
  std::time_t toTimeT() const;
  static DateTime fromTm(const std::tm& t);
  // This date and time moved by a number of seconds on the calendar (wall
  // clock: a daylight-saving change in between does not shift it). Callers
  // keep the amount within the years 100 to 9999.
  DateTime plusSeconds(long long seconds) const;
  std::string stamp() const;  // "MM/DD/YYYY HH:NN:SS"
  auto operator<=>(const DateTime&) const = default;
};

// Reads a stored date-time back. Accepted forms:
//   M/D/YYYY [H:NN[:SS]]              month first, 24-hour time
//   M/D/YYYY H:NN[:SS] AM|PM          12-hour time
//   YYYY-MM-DD[( |T)HH:MM[:SS]]       ISO 8601
// Anything else, or an impossible date or time, raises error 13.
DateTime parseStoredDateTime(std::string_view s);

}  // namespace nfy
