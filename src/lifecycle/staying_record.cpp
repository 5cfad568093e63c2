#include "lifecycle/staying_record.h"

#include <charconv>
#include <exception>

#include "app/paths.h"
#include "platform/file_ops.h"
#include "platform/file_read.h"
#include "version.h"

namespace nfy {
namespace {

// The first line: the judgement of a message belongs to the program version
// that wrote it, so a record of another version is never taken.
constexpr std::string_view kHead = "nfyDesk staying 2 " NFY_VERSION_TEXT;
// The longest record read: a message id is a section name, short in
// practice; a longer file is no record.
constexpr std::uint64_t kMaxBytes = 4096;

// The value of "<key>=" at the start of `line`; none for another line.
std::optional<std::string_view> field(std::string_view line, std::string_view key) {
  if (!line.starts_with(key) || line.size() == key.size() || line[key.size()] != '=') return std::nullopt;
  return line.substr(key.size() + 1);
}

}  // namespace

std::string stayingRecordPath(const std::string& inbox) { return paths::stayingRecord(inbox); }

std::string formatStayingRecord(const StayingRecord& r) {
  char digest[17];
  const auto end = std::to_chars(digest, digest + 16, r.digest, 16).ptr;
  return std::string(kHead) + "\ndigest=" + std::string(digest, end) + "\ncount=" + std::to_string(r.count) +
         "\nnext=" + (r.next ? r.next->stamp() : "") + "\nnextid=" + r.nextId + "\nend\n";
}

std::optional<StayingRecord> parseStayingRecord(const std::string_view whole) {
  // Six lines, each ended by a line feed, in this order; nothing after.
  std::string_view text = whole;
  std::string_view lines[6];
  for (std::string_view& line : lines) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    line = text.substr(0, end);
    text.remove_prefix(end + 1);
  }
  if (!text.empty() || lines[0] != kHead || lines[5] != "end") return std::nullopt;
  const auto digest = field(lines[1], "digest"), count = field(lines[2], "count");
  const auto next = field(lines[3], "next"), nextId = field(lines[4], "nextid");
  if (!digest || !count || !next || !nextId) return std::nullopt;
  const auto d = writtenInteger<std::uint64_t>(*digest, 16);
  const auto c = writtenInteger<long>(*count, 10);
  // "next=" and "nextid=" stand empty together, when no message has a time
  // to live.
  if (!d || !c || *c < 0 || next->empty() != nextId->empty()) return std::nullopt;
  StayingRecord r;
  r.digest = *d;
  r.count = *c;
  if (!next->empty()) {
    try {
      r.next = parseStoredDateTime(*next);
    } catch (const std::exception&) {
      return std::nullopt;
    }
    r.nextId = std::string(*nextId);
  }
  // Only the very text this program writes for the record (one spelling of
  // each number and time).
  if (formatStayingRecord(r) != whole) return std::nullopt;
  return r;
}

std::optional<StayingRecord> readStayingRecord(const std::string& inbox) {
  std::string text;
  if (platform::readFile(stayingRecordPath(inbox), text, {.maxBytes = kMaxBytes, .ownOnly = true}) !=
      platform::ReadStatus::Ok)
    return std::nullopt;
  return parseStayingRecord(text);
}

bool writeStayingRecord(const std::string& inbox, const StayingRecord& record) {
  platform::FileStamp stamp;
  // Not flushed: a record lost to a power cut, or an older one, does not
  // match the inbox and costs one full pass.
  return platform::replaceFileWith(stayingRecordPath(inbox), formatStayingRecord(record), stamp, 0,
                                   platform::NewFile::Private, platform::Durability::Unflushed);
}

}  // namespace nfy
