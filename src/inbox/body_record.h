// What a run found of the body files it read back to compare them with a
// reply, kept beside the inbox ("<inbox>.bodies"): for each message id, the
// stamp of its body file (platform::FileStamp: volume, file id, size,
// modification time; on Windows size and time alone) and the digest of the
// text the file held then. A later run that gets the same message again
// and finds the file with that same stamp need not read it back; a file
// with any other stamp (written again, replaced, changed in place, gone) is
// read as before.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_ops.h"

namespace nfy {

struct KnownBody {
  platform::FileStamp stamp;  // exists is true
  std::uint64_t digest = 0;   // contentDigest of the file's text
  bool operator==(const KnownBody&) const = default;
};

// By message id, exactly as the body file is named.
using BodyRecord = std::map<std::string, KnownBody, std::less<>>;

// The record's text, and back: parseBodyRecord takes only a text that
// formatBodyRecord of this program version wrote, of at most 100,000
// entries (none for anything else, never raising).
std::string formatBodyRecord(const BodyRecord& record);
std::optional<BodyRecord> parseBodyRecord(std::string_view text);

// The record beside `inbox`; empty when there is none, or it is not a
// regular file of the user's own, or not one this program version wrote.
BodyRecord readBodyRecord(const std::string& inbox);
// Replaces the record beside `inbox` (atomically, without a flush: a lost
// or older record only costs reading the bodies back once). Call with the
// inbox's lock held. False when it could not be written.
bool writeBodyRecord(const std::string& inbox, const BodyRecord& record);

}  // namespace nfy
