// Entries for systemd's journal in its native protocol: one datagram to the
// journal's socket holding every field, "NAME=value" and a line feed, or,
// for a value with a line feed in it, "NAME", a line feed, the value's
// length (64 bits, little-endian), the value and a line feed. An entry too
// large for one datagram goes as a sealed memory file instead.
#pragma once

#include <span>
#include <string_view>

namespace nfy::platform {

struct JournalField {
  std::string_view name;
  std::string_view value;
};

// Sends one entry without waiting: false when the journal cannot be
// reached or has no room for it now (the entry is then lost).
bool sendJournalEntry(std::span<const JournalField> fields);

}  // namespace nfy::platform
