#include "base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "base/errors.h"

namespace nfy {
namespace {

char upperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of s (sign, digits, decimal part), 0 if none.
size_t scanNumber(std::string_view s, bool allowExponent) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    size_t j = i + 1, frac = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++frac;
    if (digits + frac > 0) i = j, digits += frac;
  }
  if (digits == 0) return 0;
  if (allowExponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    size_t exp = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++exp;
    if (exp > 0) i = j;
  }
  return i;
}

double toDouble(std::string_view s) {
  // Whole numbers of up to 15 digits (counts, ids, hours, days: nearly
  // every number the program reads) are exact in a double: no copy, no
  // strtod.
  std::string_view digits = s;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '+' || negative)) digits.remove_prefix(1);
  if (!digits.empty() && digits.size() <= 15 && std::all_of(digits.begin(), digits.end(), isDigit)) {
    std::int64_t v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    const double d = static_cast<double>(v);
    return negative ? -d : d;
  }
  std::string text(s);
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  return std::strtod(text.c_str(), nullptr);
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysIn(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

std::string two(int v) {
  char b[8];
  b[0] = static_cast<char>('0' + (v / 10) % 10);
  b[1] = static_cast<char>('0' + v % 10);
  return std::string(b, 2);
}
std::string four(int v) { return two(v / 100) + two(v % 100); }

// A small cursor over the text being parsed as a date-time.
struct Cursor {
  std::string_view s;
  size_t i = 0;
  bool eat(char c) {
    if (i < s.size() && s[i] == c) return ++i, true;
    return false;
  }
  // Reads 1..maxDigits digits (exactly `exact` when given).
  bool number(int& out, size_t minDigits, size_t maxDigits) {
    size_t start = i;
    int v = 0;
    while (i < s.size() && isDigit(s[i]) && i - start < maxDigits) v = v * 10 + (s[i++] - '0');
    if (i - start < minDigits) return false;
    out = v;
    return true;
  }
  void blanks() {
    while (i < s.size() && s[i] == ' ') ++i;
  }
  bool done() const { return i == s.size(); }
};

[[noreturn]] void mismatch() { raiseError(err::kTypeMismatch); }

}  // namespace

std::string_view trimView(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string trim(std::string_view s) { return std::string(trimView(s)); }

std::string toUpper(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), upperChar);
  return r;
}

std::string toLower(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), lowerChar);
  return r;
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerChar(x) == lowerChar(y); });
}

bool icontains(std::string_view haystack, std::string_view needle) {
  return toLower(haystack).find(toLower(needle)) != std::string::npos;
}

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::vector<std::string> splitAt(std::string_view s, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t at; (at = s.find(separator, start)) != std::string_view::npos; start = at + 1) {
    pieces.emplace_back(s.substr(start, at - start));
  }
  pieces.emplace_back(s.substr(start));
  return pieces;
}

std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
  std::string r;
  size_t pos = 0;
  while (true) {
    size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos || from.empty()) break;
    r.append(s.substr(pos, hit - pos)).append(to);
    pos = hit + from.size();
  }
  r.append(s.substr(pos));
  return r;
}

double leadingNumber(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r')) ++b;
  s.remove_prefix(b);
  size_t n = scanNumber(s, false);
  return n == 0 ? 0.0 : toDouble(s.substr(0, n));
}

double strictNumber(std::string_view s) {
  std::string t = trim(s);
  size_t n = scanNumber(t, true);
  if (n == 0 || n != t.size()) mismatch();
  double v = toDouble(t);
  if (std::isinf(v)) raiseError(err::kOverflow);
  return v;
}

std::string numberText(double v) {
  if (v == 0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string r(buf, res.ptr);
  // Exponents are written the way the program's number texts show them: 1E+20.
  for (char& c : r) c = upperChar(c);
  return r;
}

std::string stampDateTime(const std::tm& t) {
  return two(t.tm_mon + 1) + "/" + two(t.tm_mday) + "/" + four(t.tm_year + 1900) + " " + two(t.tm_hour) + ":" +
         two(t.tm_min) + ":" + two(t.tm_sec);
}
std::string stampFileDate(const std::tm& t) { return two(t.tm_mon + 1) + two(t.tm_mday) + four(t.tm_year + 1900); }
std::string stampFileTime(const std::tm& t) { return two(t.tm_hour) + two(t.tm_min) + two(t.tm_sec); }
std::string stampSortable(const std::tm& t) {
  return four(t.tm_year + 1900) + two(t.tm_mon + 1) + two(t.tm_mday) + two(t.tm_hour) + two(t.tm_min) + two(t.tm_sec);
}

std::time_t DateTime::toTimeT() const {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

DateTime DateTime::fromTm(const std::tm& b) {
  return {b.tm_year + 1900, b.tm_mon + 1, b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec};
}

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's
// civil calendar algorithms), so that date arithmetic needs neither the time
// zone nor a C library that knows dates before 1970 or after 3000.
long long daysFromCivil(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
void civilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
}  // namespace

DateTime DateTime::plusSeconds(long long seconds) const {
  // Wall-clock arithmetic, as a calendar adds hours: no daylight-saving shift.
  constexpr long long kDay = 86400;
  long long total = daysFromCivil(year, month, day) * kDay + hour * 3600LL + minute * 60LL + second + seconds;
  long long days = total >= 0 ? total / kDay : -((-total + kDay - 1) / kDay);
  long long rest = total - days * kDay;
  DateTime r;
  civilFromDays(days, r.year, r.month, r.day);
  r.hour = static_cast<int>(rest / 3600);
  r.minute = static_cast<int>(rest % 3600 / 60);
  r.second = static_cast<int>(rest % 60);
  return r;
}

std::string DateTime::stamp() const {
  return two(month) + "/" + two(day) + "/" + four(year) + " " + two(hour) + ":" + two(minute) + ":" + two(second);
}

DateTime parseStoredDateTime(std::string_view text) {
  Cursor c{text};
  c.blanks();
  DateTime d;
  d.hour = d.minute = d.second = 0;
  int a = 0, b = 0, y = 0;
  bool iso = false;
  if (!c.number(a, 1, 4)) mismatch();
  if (c.i == 4 && c.eat('-')) {  // YYYY-MM-DD
    iso = true;
    y = a;
    if (!c.number(a, 2, 2) || !c.eat('-') || !c.number(b, 2, 2)) mismatch();
    d.year = y, d.month = a, d.day = b;
  } else {  // M/D/YYYY
    if (a > 99 || !c.eat('/') || !c.number(b, 1, 2) || !c.eat('/') || !c.number(y, 4, 4)) mismatch();
    d.year = y, d.month = a, d.day = b;
  }
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysIn(d.year, d.month) || d.year < 100) mismatch();
  bool sep = iso ? (c.eat('T') || c.eat(' ')) : c.eat(' ');
  if (!sep) {
    c.blanks();
    if (!c.done()) mismatch();
    return d;
  }
  if (!iso) c.blanks();
  if (c.done() && !iso) return d;
  if (!c.number(d.hour, 1, 2) || !c.eat(':') || !c.number(d.minute, 2, 2)) mismatch();
  if (c.eat(':') && !c.number(d.second, 2, 2)) mismatch();
  size_t afterTime = c.i;
  c.blanks();
  if (!iso && c.i > afterTime && c.i + 2 <= text.size()) {
    std::string ampm = toUpper(text.substr(c.i, 2));
    if (ampm == "AM" || ampm == "PM") {
      if (d.hour < 1 || d.hour > 12) mismatch();
      if (ampm == "AM" && d.hour == 12) d.hour = 0;
      if (ampm == "PM" && d.hour != 12) d.hour += 12;
      c.i += 2;
      c.blanks();
    }
  }
  if (!c.done() || d.hour > 23 || d.minute > 59 || d.second > 59) mismatch();
  return d;
}

}  // namespace nfy
