#include "inbox/body_record.h"

#include <algorithm>
#include <charconv>

#include "app/paths.h"
#include "base/text.h"
#include "inbox/body_file.h"
#include "platform/file_read.h"
#include "version.h"

namespace nfy {
namespace {

// The first line: a record of another program version is never taken.
constexpr std::string_view kHead = "nfyDesk bodies 1 " NFY_VERSION_TEXT;
// The most entries a record holds (a larger inbox's record is not taken: its
// bodies are read back, as without one), and the longest file read for it.
constexpr std::size_t kMaxEntries = 100'000;
constexpr std::uint64_t kMaxBytes = std::uint64_t{16} << 20;

template <typename Number>
void appendNumber(std::string& out, Number n, int base = 10) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, n, base).ptr);
}

// The next field of a line, up to a tab (or the line's end).
std::string_view nextField(std::string_view& line) {
  const size_t tab = line.find('\t');
  const std::string_view field = line.substr(0, tab);
  line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
  return field;
}

}  // namespace

std::string formatBodyRecord(const BodyRecord& record) {
  std::string text(kHead);
  text += '\n';
  for (const auto& [id, body] : record) {
    text += id;
    text += '\t';
    appendNumber(text, body.stamp.size);
    text += '\t';
    appendNumber(text, body.stamp.modified);
    text += '\t';
    appendNumber(text, body.stamp.volume);
    text += '\t';
    appendNumber(text, body.stamp.id);
    text += '\t';
    appendNumber(text, body.digest, 16);
    text += '\n';
  }
  text += "end\n";
  return text;
}

std::optional<BodyRecord> parseBodyRecord(const std::string_view whole) {
  // The head, a line for each body (tab-separated: id, size, modification
  // time, volume, file id, digest), "end"; each ended by a line feed.
  std::string_view text = whole;
  auto nextLine = [&]() -> std::optional<std::string_view> {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
  };
  if (nextLine() != kHead) return std::nullopt;
  BodyRecord record;
  std::string_view last;  // ids in order, once each
  for (;;) {
    std::optional<std::string_view> line = nextLine();
    if (!line) return std::nullopt;
    if (*line == "end") break;
    if (record.size() == kMaxEntries) return std::nullopt;
    // Six fields, five tabs.
    if (std::count(line->begin(), line->end(), '\t') != 5) return std::nullopt;
    const std::string id(nextField(*line));
    const auto size = writtenInteger<std::uint64_t>(nextField(*line));
    const auto modified = writtenInteger<std::int64_t>(nextField(*line));
    const auto volume = writtenInteger<std::uint64_t>(nextField(*line));
    const auto fileId = writtenInteger<std::uint64_t>(nextField(*line));
    const auto digest = writtenInteger<std::uint64_t>(nextField(*line), 16);
    if (!isSafeMessageId(id) || (!record.empty() && !(last < id)) || !size || !modified || !volume || !fileId ||
        !digest)
      return std::nullopt;
    const auto it =
        record.emplace_hint(record.end(), id, KnownBody{{true, *size, *modified, *volume, *fileId}, *digest});
    last = it->first;
  }
  // Nothing after the end: only the very text this program writes.
  if (!text.empty()) return std::nullopt;
  return record;
}

BodyRecord readBodyRecord(const std::string& inbox) {
  std::string text;
  if (platform::readFile(paths::bodyRecord(inbox), text, {.maxBytes = kMaxBytes, .ownOnly = true}) !=
      platform::ReadStatus::Ok)
    return {};
  return parseBodyRecord(text).value_or(BodyRecord{});
}

bool writeBodyRecord(const std::string& inbox, const BodyRecord& record) {
  platform::FileStamp stamp;
  return platform::replaceFileWith(paths::bodyRecord(inbox), formatBodyRecord(record), stamp, 0,
                                   platform::NewFile::Private, platform::Durability::Unflushed);
}

}  // namespace nfy
