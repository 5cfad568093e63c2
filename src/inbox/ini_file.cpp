#include "inbox/ini_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/log.h"
#include "base/digest.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_document.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/file_read.h"

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
  // Asked for every read, mostly of one file: the last answer is kept.
  static std::string last;
  static bool lastRooted = false;
  if (!last.empty() && file == last) return lastRooted;
  std::filesystem::path p(file);
  last = file;
  lastRooted = !file.empty() && (p.is_absolute() || p.has_root_directory());
  return lastRooted;
}
unsigned long parses = 0;
// A function's own static: the rule is set by another file's static
// initialisation, which may run first.
CommitRule& commitRule() {
  static CommitRule rule;
  return rule;
}
std::function<bool(std::string_view)>& ruleReadsKey() {
  static std::function<bool(std::string_view)> reads;
  return reads;
}

std::function<bool(const std::string&)>& ownFilesOnly() {
  static std::function<bool(const std::string&)> rule;
  return rule;
}

// Why the last read of a file failed, and which file: a read that fails is
// raised as the system's error, never taken for an empty file.
platform::FileError lastReadError;

[[noreturn]] void raiseReadError(const std::string& file) {
  throw RuntimeError(lastReadError.number, lastReadError.text + ", reading " + file);
}

struct Cached {
  platform::FileStamp stamp;  // of the content; exists is false for a missing file
  // The file's content, exactly: in `doc` (its parsedText()) when
  // bytesInDoc, so that a large inbox is not held twice; else `bytes`.
  std::string bytes;
  bool bytesInDoc = false;
  Document doc;  // the content parsed
  bool settled = true;
  bool trusted = false;  // looked at on the disk under the file's open ReadSnapshot
  // Of the content, once asked for.
  std::optional<std::uint64_t> digest;
  // The commit rule holds for the content: this process wrote it under the
  // rule, or ran the rule on it and the rule changed nothing.
  bool ruleHolds = false;

  // New content in bytes or doc: what was known of the old goes.
  void contentChanged() {
    digest.reset();
    ruleHolds = false;
  }
};

// A buffer to write a file's text into, kept from an earlier commit.
std::string& recycledText() {
  static std::string text;
  return text;
}

std::string_view contentOf(const Cached& c) { return c.bytesInDoc ? *c.doc.parsedText() : std::string_view(c.bytes); }

std::uint64_t digestOf(Cached& c) {
  if (!c.digest) c.digest = nfy::contentDigest(contentOf(c));
  return *c.digest;
}

// How often each file's content was taken from the disk as new, by file:
// every content after the first was written by another program (or read
// again after the cache lost it).
std::unordered_map<std::string, unsigned long>& contentsRead() {
  static std::unordered_map<std::string, unsigned long> counts;
  return counts;
}

// A content digest that the commit rule is known to hold for (see
// trustRuleFor), and which content read from the disk had it.
struct Trusted {
  std::uint64_t digest = 0;
  std::optional<unsigned long> matchedRead;  // contentsRead() of that content
};
std::unordered_map<std::string, Trusted>& ruleTrusted() {
  static std::unordered_map<std::string, Trusted> digests;
  return digests;
}

bool ruleKnownToHold(const std::string& file, Cached& c) {
  if (c.ruleHolds) return true;
  auto it = ruleTrusted().find(file);
  if (it == ruleTrusted().end() || !c.stamp.exists || digestOf(c) != it->second.digest) return false;
  it->second.matchedRead = contentsRead()[file];
  return true;
}

// A document parsed from `bytes` into `c`, which then holds the content.
void parseInto(Cached& c, std::string&& bytes) {
  c.contentChanged();
  c.doc = Document::adopt(std::move(bytes));
  c.bytesInDoc = c.doc.parsedText().has_value();
  // adopt() took the bytes only when the document keeps them.
  if (c.bytesInDoc)
    c.bytes.clear();
  else
    c.bytes = std::move(bytes);
}

// The files read under a ReadSnapshot, by the number of snapshots open.
std::unordered_map<std::string, int>& snapshots() {
  static std::unordered_map<std::string, int> open;
  return open;
}

// Changed whenever an entry may have left the cache (the entries that stay
// keep their place in memory).
unsigned long cacheGeneration = 0;

std::unordered_map<std::string, Cached>& cache() {
  // Never destroyed: freeing the parsed document of a large inbox at the end
  // of a run costs more than the rest of the exit, and the end of the
  // process frees it anyway.
  static auto* files = new std::unordered_map<std::string, Cached>();
  return *files;
}

// The file of the last look at the cache and its entry: nearly every read is
// of the file read before, and this spares hashing its name each time.
struct LastLook {
  std::string file;
  Cached* cached = nullptr;
  unsigned long generation = 0;
};
LastLook lastLook;

Cached* cachedEntry(const std::string& file) {
  if (lastLook.cached && lastLook.generation == cacheGeneration && file == lastLook.file) return lastLook.cached;
  auto it = cache().find(file);
  if (it == cache().end()) return nullptr;
  lastLook = {file, &it->second, cacheGeneration};
  return &it->second;
}

void forgetCached(const std::string& file) {
  ++cacheGeneration;
  cache().erase(file);
}

void forgetAllCached() {
  ++cacheGeneration;
  cache().clear();
}

bool isSettled(const platform::FileStamp& st) {
  return !st.exists || platform::fileClockNow() - st.modified > kSettleNs;
}

// The file as it is now, parsed only when it changed; nullptr when it
// exists but cannot be read. Under a ReadSnapshot, as it was when first
// looked at, unless `underLock`: a change always starts from the disk.
Cached* load(const std::string& file, bool underLock = false) {
  Cached* known = cachedEntry(file);
  if (!underLock && known && known->trusted) return known;
  const bool inSnapshot = !snapshots().empty() && snapshots().count(file);
  if (known) {
    platform::FileStamp now = platform::fileStamp(file);
    if (now.exists && now == known->stamp && known->settled) {
      known->trusted = inSnapshot;
      return known;
    }
  }
  std::string bytes;
  platform::FileStamp st;
  const bool ownOnly = ownFilesOnly() && ownFilesOnly()(file);
  // The buffer becomes the document's: with room for what edits add.
  switch (platform::readFile(file, bytes, {.ownOnly = ownOnly, .roomToGrow = true}, &st)) {
    case platform::ReadStatus::Ok: break;
    case platform::ReadStatus::Missing: st = {}; break;
    default:
      lastReadError = platform::lastFileError();
      if (known) forgetCached(file);
      return nullptr;
  }
  if (known && known->stamp.exists == st.exists && contentOf(*known) == bytes) {
    known->stamp = st;
    known->settled = isSettled(st);
    known->trusted = inSnapshot;
    return known;
  }
  if (!known) {
    if (cache().size() >= kMaxCachedFiles) forgetAllCached();
    known = &cache().emplace(file, Cached{}).first->second;
  }
  Cached& c = *known;
  parseInto(c, std::move(bytes));
  ++parses;
  ++contentsRead()[file];
  c.stamp = st;
  c.settled = isSettled(st);
  c.trusted = inSnapshot;
  return &c;
}

// The program's text as the file holds it, and back.
std::string toFile(const Document& doc, std::string_view text) {
  return doc.encoding() == Document::Encoding::Utf8 ? platform::ansiToUtf8(text) : std::string(text);
}
std::string fromFile(const Document& doc, std::string_view text) {
  return doc.encoding() == Document::Encoding::Utf8 ? platform::utf8ToAnsi(text) : std::string(text);
}

// A key set or a section deletion, in the program's text: what a scope
// applies again to the file as it is when the file changed meanwhile.
struct Change {
  bool deletion = false;
  std::string section, key, value;
  bool newSection = false;            // the set added the section
  std::optional<std::string> before;  // in a scope: the key's value before the set, when it had one
};

Document::Edit apply(Document& doc, const Change& c, std::optional<std::string>* before = nullptr) {
  if (c.deletion)
    return doc.removeSection(toFile(doc, c.section)) ? Document::Edit::Changed : Document::Edit::Unchanged;
  return doc.set(toFile(doc, c.section), toFile(doc, c.key), toFile(doc, c.value), before);
}

// A file's open scope: the file as the scope found it (its document taken
// out of the cache and changed by the scope), and the changes in their order.
struct Open {
  int depth = 0;
  bool usable = false;      // the file could be read (and its encoding is known)
  bool readFailed = false;  // the file exists but could not be read
  platform::FileError error;
  std::vector<CommitGuard> guards;  // of this scope and the scopes inside it
  Cached base;                      // doc: with the scope's changes; bytes, stamp: as found
  std::vector<Change> changes;
};

// Whether the scope's changes, taken together, left every value as the
// scope found it (a value set and set back, such as a default that a later
// step replaces with what was there): no section came or went, and each key
// changed has its first value again. Such a scope writes nothing, and its
// document need not be written out to be compared with the file. Only for a
// file whose rule is known to hold: the commit would otherwise apply it.
bool setBackWhereTheyWere(const Open& open) {
  if (!open.base.ruleHolds) return false;
  std::unordered_map<std::string, const Change*> first;  // by the key's name, as reads match it
  for (const Change& c : open.changes) {
    if (c.deletion || c.newSection || !c.before) return false;
    first.try_emplace(toLower(c.section) + '\n' + toLower(c.key), &c);
  }
  const Document& doc = open.base.doc;
  std::string now;
  for (const auto& [name, c] : first) {
    if (!doc.value(toFile(doc, c->section), toFile(doc, c->key), now) || now != *c->before) return false;
  }
  return true;
}

std::unordered_map<std::string, Open>& openScopes() {
  static std::unordered_map<std::string, Open> scopes;
  return scopes;
}

Open* scopeOf(const std::string& file) {
  auto& scopes = openScopes();
  if (scopes.empty()) return nullptr;
  auto it = scopes.find(file);
  return it == scopes.end() ? nullptr : &it->second;
}

// Takes the file's lock; the lock file stays open for the run (opening it
// is the dearer half).
Outcome lockFile(const std::string& file, platform::FileLock*& taken) {
  static std::unordered_map<std::string, platform::FileLock> locks;
  platform::FileLock& lock = locks[file];
  if (!lock.open(file + ".lock")) return Outcome::Failed;
  flushLog();  // the wait may take seconds
  if (!lock.lock(lockWaitMs)) return Outcome::Busy;
  taken = &lock;
  return Outcome::Ok;
}

// The file's rule applied to the document about to be written; true when
// it changed something.
bool applyRule(const std::string& file, Document& doc, const std::vector<std::string>* added = nullptr) {
  if (!commitRule()) return false;
  KeyEdit e(doc, added);
  commitRule()(file, e);
  return e.changed();
}

// The sections that `changes` added to `doc`, as it names them, when they
// added sections and set keys the rule does not read in the others (see
// KeyEdit::addedSinceRuleHeld); none otherwise.
std::optional<std::vector<std::string>> addedSections(const Document& doc, const std::vector<Change>& changes) {
  std::vector<std::string> added;
  auto isAdded = [&](std::string_view name) {
    return std::any_of(added.begin(), added.end(), [&](const std::string& a) { return sameName(a, name); });
  };
  for (const Change& c : changes) {
    if (c.deletion) return std::nullopt;
    const std::string section = toFile(doc, c.section);
    if (c.newSection) {
      const std::optional<std::string_view> stored = doc.storedName(section);
      if (!stored) return std::nullopt;
      added.emplace_back(*stored);
    } else if (!isAdded(trimBlanks(section)) && (!ruleReadsKey() || ruleReadsKey()(trimBlanks(c.key)))) {
      return std::nullopt;
    }
  }
  return added;
}

// Lets go of a lock taken with lockFile when it goes out of scope.
struct Unlock {
  platform::FileLock* lock = nullptr;
  ~Unlock() {
    if (lock) lock->unlock();
  }
};

// Under the file's lock: the file as it is now, `edit` applied to it, and a
// changed document written back in one flushed replace.
template <typename Edit>
Outcome replaceUnderLock(const std::string& file, Edit edit) {
  platform::FileLock* lock = nullptr;
  if (Outcome o = lockFile(file, lock); o != Outcome::Ok) return o;
  Unlock unlockAtEnd{lock};
  Cached* c = load(file, true);
  if (!c || c->doc.encoding() == Document::Encoding::Unsupported) return Outcome::Failed;
  const bool edited = edit(*c) == Document::Edit::Changed;
  if (!edited && ruleKnownToHold(file, *c)) {
    c->ruleHolds = true;
    return Outcome::Ok;
  }
  if (!applyRule(file, c->doc) && !edited) {
    c->ruleHolds = true;
    return Outcome::Ok;
  }

  // Kept between calls so that a large file does not cost a fresh
  // allocation on every write.
  static std::string text;
  c->doc.serializeTo(text);
  platform::FileStamp st;
  if (!platform::replaceFileWith(file, text, st, kReplaceWaitMs)) {
    forgetCached(file);  // the document in memory no longer matches the file
    return Outcome::Failed;
  }
  c->stamp = st;
  c->bytes.swap(text);
  c->bytesInDoc = false;
  c->settled = true;
  c->contentChanged();
  c->ruleHolds = true;
  if (!c->doc.roundTrips()) {
    c->doc = Document::parse(c->bytes);
    ++parses;
  }
  return Outcome::Ok;
}

// A "]" would end the header early; a key that begins with "[" could read
// back as a header.
bool acceptableNames(const std::string& section, const std::string& key) {
  if (section.find(']') != std::string::npos) return false;
  std::string_view tk = trimBlanks(key);
  return tk.empty() || tk.front() != '[';
}

// One change: inside a scope of the file, to the scope's document; else one
// replace of the file.
Outcome change(const std::string& file, const Change& c) {
  if (!isRootedPath(file)) return Outcome::BadFileName;
  if (Open* open = scopeOf(file)) {
    if (!open->usable) return Outcome::Failed;
    Document& doc = open->base.doc;
    const std::size_t sections = doc.sections().size();  // a set that adds a section adds it at the end
    std::optional<std::string> before;
    if (apply(doc, c, &before) == Document::Edit::Changed) {
      Change& made = open->changes.emplace_back(c);
      made.newSection = !c.deletion && doc.sections().size() > sections;
      made.before = std::move(before);
    }
    return Outcome::Ok;
  }
  return replaceUnderLock(file, [&](Cached& cached) { return apply(cached.doc, c); });
}

// The document that reads of the file see: the scope's, when one is open;
// nullptr for a file that reads as empty (a UTF-16 one). Raises when the
// file could not be read.
const Document* current(const std::string& file) {
  if (const Open* open = scopeOf(file)) {
    if (open->readFailed) {
      lastReadError = open->error;
      raiseReadError(file);
    }
    return open->usable ? &open->base.doc : nullptr;
  }
  const Cached* c = load(file);
  if (!c) raiseReadError(file);
  return &c->doc;
}

}  // namespace

namespace {

// A name as the document holds it is looked up as it is (the common case,
// without a copy) unless the file is UTF-8 or the name has a line break.
bool asGiven(const Document& doc, std::string_view name) {
  return doc.encoding() != Document::Encoding::Utf8 && !hasLineBreak(name);
}

std::optional<std::string_view> keyValue(const Document& doc, const Section& s, std::string_view key) {
  if (asGiven(doc, key)) return s.value(trimBlanks(key));
  return s.value(trimBlanks(toFile(doc, oneLine(key))));
}

// The document of the file read last, when nothing is to be looked at
// again (no scope open, the file trusted under its ReadSnapshot): the
// common read of a pass over the inbox, at the cost of one comparison of the
// file's name. nullptr when the other path must be taken.
const Document* trustedLastRead(const std::string& file) {
  if (!openScopes().empty() || !lastLook.cached || lastLook.generation != cacheGeneration ||
      !lastLook.cached->trusted || file != lastLook.file)
    return nullptr;
  return &lastLook.cached->doc;
}

// The document that reads of `file` see; nullptr for a file that reads as
// empty or a bad file name. Raises as current does.
const Document* readable(const std::string& file) {
  if (const Document* doc = trustedLastRead(file)) return doc;
  if (!isRootedPath(file)) return nullptr;
  return current(file);
}

}  // namespace

std::string readValue(const std::string& file, std::string_view section, std::string_view key) {
  std::string value;
  const Document* doc = readable(file);
  if (!doc) return value;
  if (asGiven(*doc, section) && asGiven(*doc, key)) {
    doc->value(section, key, value);
  } else if (doc->value(toFile(*doc, oneLine(section)), toFile(*doc, oneLine(key)), value)) {
    value = fromFile(*doc, value);
  }
  return value;
}

std::vector<std::string> readValues(const std::string& file, std::string_view section,
                                    std::initializer_list<std::string_view> keys) {
  std::vector<std::string> values(keys.size());
  const Document* doc = readable(file);
  if (!doc) return values;
  // Names are looked up as given where the file is not UTF-8 (the common
  // case, without copies). A name with a line break never matches as given
  // (no stored name has one), so it is tested for one only when it missed.
  const bool ansi = doc->encoding() != Document::Encoding::Utf8;
  std::optional<Section> s = ansi ? doc->find(section) : std::nullopt;
  if (!s && (!ansi || hasLineBreak(section))) s = doc->find(toFile(*doc, oneLine(section)));
  if (!s) return values;
  if (!ansi || keys.size() > Section::kMaxValues) {
    size_t i = 0;
    for (std::string_view key : keys) {
      if (std::optional<std::string_view> v = keyValue(*doc, *s, key)) values[i] = fromFile(*doc, *v);
      ++i;
    }
    return values;
  }
  std::array<std::string_view, Section::kMaxValues> names;
  std::array<std::optional<std::string_view>, Section::kMaxValues> found;
  const size_t n = keys.size();
  std::transform(keys.begin(), keys.end(), names.begin(), trimBlanks);
  s->values({names.data(), n}, {found.data(), n});
  for (size_t i = 0; i < n; ++i) {
    const std::string_view key = keys.begin()[i];
    if (!found[i] && hasLineBreak(key)) found[i] = keyValue(*doc, *s, key);
    if (found[i]) values[i] = fromFile(*doc, *found[i]);
  }
  return values;
}

Outcome writeValue(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  Change c{false, oneLine(section), oneLine(key), oneLine(value), false, std::nullopt};
  if (!acceptableNames(c.section, c.key)) return Outcome::BadName;
  return change(file, c);
}

std::string KeyEdit::value(std::string_view section, std::string_view key) const {
  std::string out;
  if (doc_.value(toFile(doc_, oneLine(section)), toFile(doc_, oneLine(key)), out)) return fromFile(doc_, out);
  return "";
}

bool KeyEdit::hasSection(std::string_view section) const {
  return doc_.storedName(toFile(doc_, oneLine(section))).has_value();
}

std::vector<std::string> KeyEdit::sectionNames() const {
  std::vector<std::string> names = doc_.sectionNames();
  for (std::string& name : names) name = fromFile(doc_, name);
  return names;
}

bool KeyEdit::removeSection(std::string_view section) {
  if (!doc_.removeSection(toFile(doc_, oneLine(section)))) return false;
  changed_ = true;
  return true;
}

bool KeyEdit::set(std::string_view section, std::string_view key, std::string_view value) {
  std::string s = oneLine(section), k = oneLine(key), v = oneLine(value);
  if (!acceptableNames(s, k)) return false;
  if (doc_.set(toFile(doc_, s), toFile(doc_, k), toFile(doc_, v)) == Document::Edit::Changed) changed_ = true;
  return true;
}

Outcome update(const std::string& file, const std::function<void(KeyEdit&)>& edit) {
  if (!isRootedPath(file)) return Outcome::BadFileName;
  return replaceUnderLock(file, [&](Cached& cached) {
    KeyEdit e(cached.doc);
    edit(e);
    return e.changed() ? Document::Edit::Changed : Document::Edit::Unchanged;
  });
}

Outcome deleteSection(const std::string& file, std::string_view section) {
  return change(file, Change{true, oneLine(section), {}, {}, false, std::nullopt});
}

std::vector<std::string> sectionNames(const std::string& file) {
  if (!isRootedPath(file)) raiseError(err::kPathNotFound);
  std::vector<std::string> names;
  if (const Document* doc = current(file)) {
    names = doc->sectionNames();
    for (std::string& name : names) name = fromFile(*doc, name);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> sectionValues(const std::string& file, std::string_view key) {
  if (!isRootedPath(file)) raiseError(err::kPathNotFound);
  std::vector<std::pair<std::string, std::string>> values;
  const Document* doc = current(file);
  if (!doc) return values;
  if (doc->encoding() == Document::Encoding::Utf8) {
    // Two names of the file can be one name in the program's code page:
    // each is looked up by that name, as a read of it does.
    std::unordered_set<std::string> seen;
    for (const std::string& name : sectionNames(file)) {
      if (!seen.insert(toLower(name)).second) continue;
      values.emplace_back(name, readValue(file, name, key));
    }
    return values;
  }
  doc->forEachFirstOfName([&](const Section& s) {
    const std::optional<std::string_view> v = keyValue(*doc, s, key);
    values.emplace_back(std::string(s.name()), v ? std::string(*v) : std::string());
  });
  return values;
}

std::optional<std::uint64_t> contentDigest(const std::string& file) {
  if (!isRootedPath(file)) raiseError(err::kPathNotFound);
  // The edits of an open scope are not in the file yet.
  if (scopeOf(file)) return std::nullopt;
  Cached* c = load(file);
  if (!c) raiseReadError(file);
  if (!c->stamp.exists) return std::nullopt;
  return digestOf(*c);
}

bool ruleHolds(const std::string& file) {
  if (!isRootedPath(file) || scopeOf(file)) return false;
  const Cached* c = cachedEntry(file);
  return c && c->ruleHolds;
}

void trustRuleFor(const std::string& file, std::uint64_t digest) { ruleTrusted()[file] = {digest, std::nullopt}; }

bool unchangedByOthersSince(const std::string& file, std::uint64_t digest) {
  auto it = ruleTrusted().find(file);
  return it != ruleTrusted().end() && it->second.digest == digest && it->second.matchedRead &&
         *it->second.matchedRead == contentsRead()[file];
}

void ruleChanged() {
  ruleTrusted().clear();
  for (auto& [file, c] : cache()) c.ruleHolds = false;
  for (auto& [file, open] : openScopes()) open.base.ruleHolds = false;
}

std::string storedSectionName(const std::string& file, std::string_view section) {
  if (!isRootedPath(file)) raiseError(err::kPathNotFound);
  const Document* doc = current(file);
  if (!doc) return "";
  const std::optional<std::string_view> name = doc->storedName(toFile(*doc, oneLine(section)));
  return name ? fromFile(*doc, *name) : std::string();
}

Scope::Scope(std::string file) : file_(std::move(file)) {
  if (!isRootedPath(file_)) return;
  Open& open = openScopes()[file_];
  if (open.depth++ > 0) return;
  Cached* c = load(file_);
  open.readFailed = c == nullptr;
  if (open.readFailed) open.error = lastReadError;
  open.usable = c && c->doc.encoding() != Document::Encoding::Unsupported;
  if (!open.usable) return;
  // The scope works on the cached document itself: no copy of a large inbox.
  open.base = std::move(*c);
  forgetCached(file_);
}

Scope::~Scope() { commit(); }

void Scope::guard(CommitGuard g) {
  if (Open* open = scopeOf(file_)) open->guards.push_back(std::move(g));
}

void Scope::abandon() {
  if (done_ || !isRootedPath(file_)) return;
  done_ = true;
  auto it = openScopes().find(file_);
  if (it == openScopes().end() || --it->second.depth > 0) return;
  openScopes().erase(it);  // the cache lost the file's document to the scope: it is read again
}

std::vector<Lost> Scope::commit() {
  std::vector<Lost> lost;
  if (done_ || !isRootedPath(file_)) return lost;
  done_ = true;
  auto it = openScopes().find(file_);
  if (it == openScopes().end() || --it->second.depth > 0) return lost;
  Open open = std::move(it->second);
  openScopes().erase(it);
  if (!open.usable) return lost;
  if (open.changes.empty() || setBackWhereTheyWere(open)) {
    cache()[file_] = std::move(open.base);  // nothing changed: the cache is as it was
    // What the guard writes beside the file is still written, under the lock.
    if (!open.guards.empty()) {
      whileLocked(file_, [&] {
        for (const CommitGuard& g : open.guards)
          if (g.before) g.before(nullptr, nullptr);
      });
    }
    return lost;
  }
  auto loseAll = [&] {
    for (const Change& change : open.changes) lost.push_back({change.deletion, change.section});
    return lost;
  };
  platform::FileLock* lock = nullptr;
  if (lockFile(file_, lock) != Outcome::Ok) return loseAll();
  Unlock unlockAtEnd{lock};

  Document doc;
  const Document* changedMeanwhile = nullptr;
  // The file as it is now, under the lock: its stamp and whether it is
  // settled, and where its content stays readable until it is compared
  // below: an entry whose document is not changed here, or `doc` itself
  // (the parsed text of the base's document, which edits keep).
  Cached found;
  found.stamp = platform::fileStamp(file_);
  found.settled = open.base.settled;
  const Cached* foundIn = &open.base;
  bool foundInDoc = false;
  if (found.stamp == open.base.stamp && open.base.settled) {
    foundInDoc = open.base.bytesInDoc;
    doc = std::move(open.base.doc);  // nobody wrote meanwhile
  } else {
    Cached* c = load(file_, true);
    if (!c || c->doc.encoding() == Document::Encoding::Unsupported) return loseAll();
    found.stamp = c->stamp;
    found.settled = c->settled;
    foundIn = c;
    if (c->stamp.exists == open.base.stamp.exists && contentOf(*c) == contentOf(open.base)) {
      doc = std::move(open.base.doc);
    } else {
      // Another program wrote meanwhile: the scope's changes again, in
      // their order, on the file as it is now.
      doc = c->doc;
      changedMeanwhile = &c->doc;
      for (const Change& change : open.changes) apply(doc, change);
    }
  }
  // The rule held for the file as the scope found it, and nobody wrote
  // meanwhile: the rule is told what the changes added.
  std::optional<std::vector<std::string>> added;
  if (!changedMeanwhile && open.base.ruleHolds) added = addedSections(doc, open.changes);
  applyRule(file_, doc, added ? &*added : nullptr);
  bool agreed = true;
  {
    // The files that the guards replace (the bodies that the file's sections
    // name) have their folders flushed once, not once each, and before the
    // file is: the file never names a file that a power cut can take away.
    platform::DeferredFolderFlush guardedFiles;
    KeyEdit next(doc);
    for (const CommitGuard& g : open.guards) agreed = agreed && (!g.before || g.before(changedMeanwhile, &next));
    if (next.changed()) applyRule(file_, doc);  // a guard left something out: the counts follow
    if (!guardedFiles.flush()) {
      const platform::FileError e = platform::lastFileError();
      subWriteLog("ERR : The files written with " + file_ + " could not be flushed to the disk, " +
                  std::to_string(e.number) + ":" + e.text + "; " + file_ + " is left as it was");
      agreed = false;
    }
  }
  if (!agreed) {
    for (const CommitGuard& g : open.guards)
      if (g.failed) g.failed(false);
    forgetCached(file_);
    return loseAll();
  }
  // Written into the buffer of an earlier commit's text, which the file's
  // base held: the commits of a large inbox do not each fill fresh memory.
  std::string text = std::move(recycledText());
  doc.serializeTo(text);
  if (cache().size() >= kMaxCachedFiles && !cache().count(file_)) forgetAllCached();
  const bool unchanged = found.stamp.exists && text == (foundInDoc ? *doc.parsedText() : contentOf(*foundIn));
  recycledText() = std::move(open.base.bytes);
  if (unchanged) {
    // The changes ended where the file stands (a value set and set back):
    // nothing is written.
    Cached& c = cache()[file_];
    c.stamp = found.stamp;
    c.settled = found.settled;
    c.bytes = std::move(text);
    c.bytesInDoc = false;
    c.contentChanged();
    c.ruleHolds = true;
    c.doc = doc.roundTrips() ? std::move(doc) : Document::parse(c.bytes);
    return lost;
  }
  platform::FileStamp st;
  if (!platform::replaceFileWith(file_, text, st, kReplaceWaitMs)) {
    forgetCached(file_);
    for (const CommitGuard& g : open.guards)
      if (g.failed) g.failed(st.exists);
    return loseAll();
  }
  Cached& c = cache()[file_];
  c.stamp = st;
  c.bytes = std::move(text);
  c.bytesInDoc = false;
  c.settled = true;
  c.contentChanged();
  c.ruleHolds = true;
  c.doc = doc.roundTrips() ? std::move(doc) : Document::parse(c.bytes);
  return lost;
}

ReadSnapshot::ReadSnapshot(std::string file) : file_(std::move(file)) { ++snapshots()[file_]; }

ReadSnapshot::~ReadSnapshot() {
  auto it = snapshots().find(file_);
  if (it == snapshots().end() || --it->second > 0) return;
  snapshots().erase(it);
  if (auto c = cache().find(file_); c != cache().end()) c->second.trusted = false;
}

Outcome whileLocked(const std::string& file, const std::function<void()>& step) {
  if (!isRootedPath(file)) return Outcome::BadFileName;
  platform::FileLock* lock = nullptr;
  if (Outcome o = lockFile(file, lock); o != Outcome::Ok) return o;
  Unlock unlockAtEnd{lock};
  step();
  return Outcome::Ok;
}

void setLockWait(unsigned ms) { lockWaitMs = ms; }

void setCommitRule(CommitRule rule, std::function<bool(std::string_view key)> readsKey) {
  commitRule() = std::move(rule);
  ruleReadsKey() = std::move(readsKey);
  ruleChanged();
}

void setOwnFilesOnly(std::function<bool(const std::string& file)> rule) { ownFilesOnly() = std::move(rule); }

unsigned long parseCount() { return parses; }

void forgetCachedFiles() {
  forgetAllCached();
  // What the process knew of the files' contents goes with them.
  ruleTrusted().clear();
  contentsRead().clear();
}

}  // namespace nfy::ini
