// Expiry and recall: when a stored message is due to go, and the pass
// that removes and reports those that are.
#pragma once

#include <optional>
#include <string>

#include "base/text.h"

namespace nfy {

// A stored message's time to live, as its keys hold it.
struct TimeToLive {
  std::string kind;        // "TimeToLive": "0" hours, "1" days, "2" a date; anything else: none
  std::string amount;      // "TimeToLiveHrs" for hours, "TimeToLiveDays" for days
  std::string date;        // "TimeToLiveDate"
  std::string downloaded;  // "DownloadedMNTime"
  bool inHours() const { return kind == "0"; }
  bool inDays() const { return kind == "1"; }
  bool byDate() const { return kind == "2"; }
};

// The time-to-live keys of a stored message, read through `value` (key
// name to its text): the kind first, then only the keys that kind uses.
template <typename Value>
TimeToLive storedTimeToLive(Value&& value) {
  TimeToLive ttl;
  ttl.kind = value("TimeToLive");
  if (ttl.inHours()) ttl.amount = value("TimeToLiveHrs");
  if (ttl.inDays()) ttl.amount = value("TimeToLiveDays");
  if (ttl.byDate()) ttl.date = value("TimeToLiveDate");
  if (ttl.inHours() || ttl.inDays() || ttl.byDate()) ttl.downloaded = value("DownloadedMNTime");
  return ttl;
}

// True when the message has a moment to expire at: hours or days after it
// was received (an amount of 0 never expires), or a date; in every case only
// once it was received.
bool hasExpiry(const TimeToLive& ttl);

// The moment the message expires; none when it has none (hasExpiry). A
// fraction of an hour or day counts as the nearest whole one. Raises 6
// "Overflow" for an amount that leaves the calendar's years (100 to 9999),
// 13 for a stored time that cannot be read.
std::optional<DateTime> expiryMoment(const TimeToLive& ttl);

// The clean-up pass over the stored messages: removes each recalled, read
// or expired message, keeps the summary counts and the subject index right,
// reports the removal and deletes the body file. One message that cannot be
// handled is logged and left for the next run; the others are still handled.
void fncDeleteExpiredMsgs();

}  // namespace nfy
