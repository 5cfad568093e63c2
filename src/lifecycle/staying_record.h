// What a pass over the stored messages found when every one of them stayed
// and the inbox's counts were true to its sections, kept beside the inbox
// ("<inbox>.staying"): the next run over the same inbox text, before the
// first of those messages expires, finds the same and need not judge them
// one by one again, nor count them. An idle run over a large inbox
// otherwise spends most of its time on that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace nfy {

struct StayingRecord {
  std::uint64_t digest = 0;  // contentDigest of the inbox text the pass read
  long count = 0;            // the messages that stayed
  std::string nextId;        // the first of them to expire; "" when none has a time to live
  std::optional<DateTime> next;
  bool operator==(const StayingRecord&) const = default;
};

// The record's text, and back: parseStayingRecord takes only a text that
// formatStayingRecord of this program version wrote (none for anything
// else, never raising).
std::string formatStayingRecord(const StayingRecord& record);
std::optional<StayingRecord> parseStayingRecord(std::string_view text);

// The record beside `inbox`, when it is a regular file of the user's own
// and holds a record; none otherwise (nothing logged: a missing or foreign
// record costs only a full pass).
std::optional<StayingRecord> readStayingRecord(const std::string& inbox);
// Replaces the record beside `inbox` (atomically but without a flush: a
// lost or older record only costs a full pass; never through a link or over
// another user's file). Call with the inbox's lock held: the replace's
// temporary file is one of those the leftover clean-up takes for a killed
// run's. False when it could not be written.
bool writeStayingRecord(const std::string& inbox, const StayingRecord& record);
// "<inbox>.staying".
std::string stayingRecordPath(const std::string& inbox);

}  // namespace nfy
