#include "inbox/ini_file.h"

#include <filesystem>
#include <unordered_map>

#include "app/errors.h"
#include "inbox/ini_document.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"

namespace nfy::ini {
namespace {

// A file whose modification time is this close to the moment we read it may
// still be rewritten in place within the same tick of the file system's
// clock (same size, same time): until it is older, its content is compared
// on every use instead of trusting the stamp.
constexpr std::int64_t kSettleNs = 3'000'000'000;
constexpr unsigned kReplaceWaitMs = 2000;
constexpr size_t kMaxCachedFiles = 8;

unsigned lockWaitMs = 5000;

// A full path, or one from the root of the current drive ("\folder\x.ini"
// on Windows): never a bare name that would land in whatever folder is
// current.
bool isRootedPath(const std::string& file) {
  std::filesystem::path p(file);
  return !file.empty() && (p.is_absolute() || p.has_root_directory());
}
unsigned long parses = 0;

struct Cached {
  platform::FileStamp stamp;  // of `bytes`; exists is false for a missing file
  std::string bytes;          // the file's content, exactly
  Document doc;               // `bytes` parsed
  bool settled = true;
};

std::unordered_map<std::string, Cached>& cache() {
  static std::unordered_map<std::string, Cached> files;
  return files;
}

bool isSettled(const platform::FileStamp& st) {
  return !st.exists || platform::fileClockNow() - st.modified > kSettleNs;
}

// The file as it is now, parsed only when it changed; nullptr when it
// exists but cannot be read.
Cached* load(const std::string& file) {
  auto& files = cache();
  auto it = files.find(file);
  if (it != files.end()) {
    platform::FileStamp now = platform::fileStamp(file);
    if (now.exists && now == it->second.stamp && it->second.settled) return &it->second;
  }
  std::string bytes;
  platform::FileStamp st;
  switch (platform::readFileWithStamp(file, bytes, st)) {
    case platform::ReadStatus::Ok: break;
    case platform::ReadStatus::Missing: st = {}; break;
    case platform::ReadStatus::Failed:
      if (it != files.end()) files.erase(it);
      return nullptr;
  }
  if (it != files.end() && it->second.stamp.exists == st.exists && it->second.bytes == bytes) {
    it->second.stamp = st;
    it->second.settled = isSettled(st);
    return &it->second;
  }
  if (it == files.end()) {
    if (files.size() >= kMaxCachedFiles) files.clear();
    it = files.emplace(file, Cached{}).first;
  }
  Cached& c = it->second;
  c.doc = Document::parse(bytes);
  ++parses;
  c.bytes = std::move(bytes);
  c.stamp = st;
  c.settled = isSettled(st);
  return &c;
}

// The program's text as the file holds it, and back.
std::string toFile(const Document& doc, std::string_view text) {
  return doc.encoding() == Document::Encoding::Utf8 ? platform::ansiToUtf8(text) : std::string(text);
}
std::string fromFile(const Document& doc, std::string_view text) {
  return doc.encoding() == Document::Encoding::Utf8 ? platform::utf8ToAnsi(text) : std::string(text);
}

// One change under the lock: `edit` changes the document and says whether
// it did; a changed document replaces the file.
template <typename Edit>
Outcome change(const std::string& file, Edit edit) {
  if (!isRootedPath(file)) return Outcome::BadFileName;
  // The lock file stays open for the run: opening it is the dearer half.
  static std::unordered_map<std::string, platform::FileLock> locks;
  platform::FileLock& lock = locks[file];
  if (!lock.open(file + ".lock")) return Outcome::Failed;
  if (!lock.lock(lockWaitMs)) return Outcome::Busy;
  struct Unlock {
    platform::FileLock& lock;
    ~Unlock() { lock.unlock(); }
  } unlockAtEnd{lock};
  Cached* c = load(file);
  if (!c || c->doc.encoding() == Document::Encoding::Unsupported) return Outcome::Failed;
  if (edit(c->doc) == Document::Edit::Unchanged) return Outcome::Ok;

  // Kept between calls so that a large file does not cost a fresh
  // allocation on every write.
  static std::string text;
  c->doc.serializeTo(text);
  platform::FileStamp st;
  if (!platform::replaceFileWith(file, text, st, kReplaceWaitMs)) {
    cache().erase(file);  // the document in memory no longer matches the file
    return Outcome::Failed;
  }
  c->stamp = st;
  c->bytes.swap(text);
  c->settled = true;
  if (!c->doc.roundTrips()) {
    c->doc = Document::parse(c->bytes);
    ++parses;
  }
  return Outcome::Ok;
}

}  // namespace

std::string readValue(const std::string& file, std::string_view section, std::string_view key) {
  std::string value;
  if (!isRootedPath(file)) return value;
  const Cached* c = load(file);
  if (c && c->doc.value(toFile(c->doc, oneLine(section)), toFile(c->doc, oneLine(key)), value)) {
    value = fromFile(c->doc, value);
  }
  return value;
}

Outcome writeValue(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  std::string s = oneLine(section), k = oneLine(key), v = oneLine(value);
  // A "]" would end the header early; a key that begins with "[" could read
  // back as a header.
  if (s.find(']') != std::string::npos) return Outcome::BadName;
  if (std::string_view tk = trimBlanks(k); !tk.empty() && tk.front() == '[') return Outcome::BadName;
  return change(file, [&](Document& doc) { return doc.set(toFile(doc, s), toFile(doc, k), toFile(doc, v)); });
}

Outcome deleteSection(const std::string& file, std::string_view section) {
  std::string s = oneLine(section);
  return change(file, [&](Document& doc) {
    return doc.removeSection(toFile(doc, s)) ? Document::Edit::Changed : Document::Edit::Unchanged;
  });
}

std::vector<std::string> sectionNames(const std::string& file) {
  if (!isRootedPath(file)) raiseError(err::kPathNotFound);
  std::vector<std::string> names;
  if (const Cached* c = load(file)) {
    names = c->doc.sectionNames();
    for (std::string& name : names) name = fromFile(c->doc, name);
  }
  return names;
}

void setLockWait(unsigned ms) { lockWaitMs = ms; }

unsigned long parseCount() { return parses; }

void forgetCachedFiles() { cache().clear(); }

}  // namespace nfy::ini
