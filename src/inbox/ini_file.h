// INI files on disk, shared with other programs: each call is one complete
// operation on the file as it is at that moment, unless a Scope of the file
// groups several changes into one.
//
// - A change replaces the file whole: the new text goes into a new
//   temporary file beside it, which is flushed to the disk and then renamed
//   over the file. A crash or a power cut leaves the old file or the new
//   one, never a cut one.
// - A change runs under a lock on "<file>.lock", so that two writers never
//   lose each other's keys; the wait for the lock is bounded.
// - The parsed file is kept in memory and read again only when the file
//   changed on disk (size, modification time, file id).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nfy::ini {

class Document;
class KeyEdit;

enum class Outcome {
  Ok,           // done (or nothing to change)
  BadFileName,  // empty, or a bare or relative name
  BadName,      // a section name holding "]", or a key that would read back as something else
  Busy,         // the lock was not free within the wait
  Failed,       // the file could not be read or written
};

// The value of a key as the profile functions return it; empty when the
// file, section or key is missing or its name is bare or relative. A file
// that exists but cannot be read raises the system's error (its number and
// text, and the file's name): a value that could not be read is never taken
// for an empty one.
std::string readValue(const std::string& file, std::string_view section, std::string_view key);
// Each key's value exactly as readValue(file, section, key) returns it (and
// raising as it does), with one look at the file and one look-up of the
// section for them all.
std::vector<std::string> readValues(const std::string& file, std::string_view section,
                                    std::initializer_list<std::string_view> keys);

// Writes one key (CR and LF in names and value become blanks).
Outcome writeValue(const std::string& file, std::string_view section, std::string_view key, std::string_view value);

// Deletes a whole section; a missing file or section is not an error.
Outcome deleteSection(const std::string& file, std::string_view section);

// Every named section in file order. Raises RuntimeError 76 for a file name
// that is empty, bare or relative, and the system's error for a file that
// exists but cannot be read; a missing file has none.
std::vector<std::string> sectionNames(const std::string& file);
// The sections that reads find (the first of each name, case aside), in
// file order, each with the whole value of `key` in it ("" when it has
// none): what sectionNames and a readValue of each name give, in one walk
// over a large file. Raises as sectionNames does.
std::vector<std::pair<std::string, std::string>> sectionValues(const std::string& file, std::string_view key);
// The digest (contentDigest) of the file's content, of which reads of
// `file` see the parse; none for a missing file or while a scope of it is
// open (its edits are not in the file yet). Raises as sectionValues does.
std::optional<std::uint64_t> contentDigest(const std::string& file);

// The name of the file's section that `section` finds (case aside), as the
// file spells it; "" when the file holds no such section. Raises as
// sectionNames does.
std::string storedSectionName(const std::string& file, std::string_view section);

// A change that a scope could not write: a key set, or the deletion of
// `section`.
struct Lost {
  bool deletion = false;
  std::string section;
};

// What a scope's commit does besides the replace, under the file's lock:
// `before` runs when the new text is ready, just before it replaces the
// file, with the file as it is now when another program changed it since
// the scope began (nullptr when it did not) and the document about to be
// written (`next`, which it may still change; nullptr when the scope
// changed nothing and nothing is written); false abandons the commit.
// `failed` runs when the replace failed after `before` agreed, with
// `written` true when the new text stands in the file all the same (the
// folder could not be flushed).
struct CommitGuard {
  std::function<bool(const Document* changedMeanwhile, KeyEdit* next)> before;
  std::function<void(bool written)> failed;
};

// Groups the changes of one file: while a scope of the file is open,
// writeValue and deleteSection change the file's document in memory, and
// reads of the file see those changes; the scope ends with one replace of
// the file. When another program changed the file meanwhile, the scope's
// changes are applied again, in their order, to the file as it is then,
// under the lock (the inbox's counts then follow from its sections: see
// setCommitRule).
// Scopes of the same file nest: the outermost one writes. A scope is for
// changes that belong together, never to be kept open across a wait on
// something else (a web post): the longer it is open, the more of the
// file's other changes it has to merge.
// A file that cannot be read when the scope begins fails every change made
// in it, as a write outside a scope would.
class Scope {
 public:
  explicit Scope(std::string file);
  ~Scope();  // commit(), when not done yet
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  // Ends the scope; the changes the file did not get (the old file stays),
  // in their order. An inner scope returns none.
  std::vector<Lost> commit();
  // Ends the scope without writing anything (of an outer scope only).
  void abandon();
  // Adds a guard to the commit of the outermost scope of the file (the one
  // that writes): the guards of a group of changes run in their order; one
  // that disagrees abandons the commit, and then every guard hears that it
  // failed.
  void guard(CommitGuard g);

 private:
  std::string file_;
  bool done_ = false;
};

// Several keys of one file read and written as one change: what `edit`
// reads is the file as it is under the lock, and what it sets is written
// together, so that no other writer's change falls between a read and the
// write that depends on it. Not for use inside a Scope of the same file.
class KeyEdit {
 public:
  explicit KeyEdit(Document& doc, const std::vector<std::string>* addedSinceRuleHeld = nullptr)
      : doc_(doc), added_(addedSinceRuleHeld) {}
  // The value of a key now ("" when missing).
  std::string value(std::string_view section, std::string_view key) const;
  bool hasSection(std::string_view section) const;
  // Every named section, in file order.
  std::vector<std::string> sectionNames() const;
  // Removes a whole section; false when there is none.
  bool removeSection(std::string_view section);
  // Sets a key (names and value on one line); false for a name that
  // writeValue refuses.
  bool set(std::string_view section, std::string_view key, std::string_view value);
  bool changed() const { return changed_; }
  // The document as the file holds it (names and values in the file's
  // encoding: see Document::encoding), for a pass over every section that
  // must not copy them.
  const Document& document() const { return doc_; }
  // For the commit rule: when it held for the document before the changes
  // being committed, and they only added sections and set keys the rule
  // does not read (see setCommitRule) in the others, the sections added, as
  // the document names them; nullptr when that is not known.
  const std::vector<std::string>* addedSinceRuleHeld() const { return added_; }

 private:
  Document& doc_;
  const std::vector<std::string>* added_ = nullptr;
  bool changed_ = false;
};
Outcome update(const std::string& file, const std::function<void(KeyEdit&)>& edit);

// A rule that every change of a file obeys: it runs under the lock on the
// document about to be written (after the scope's or the call's changes),
// and what it sets is written with them. A change that leaves the document
// as it was writes nothing. One rule for all files; it decides by `file`
// which files it keeps.
// `readsKey` names the keys whose values the rule reads: a change of any
// other key in a section that was there cannot change what the rule sets
// (none given: every key counts).
using CommitRule = std::function<void(const std::string& file, KeyEdit& edit)>;
void setCommitRule(CommitRule rule, std::function<bool(std::string_view key)> readsKey = {});

// Whether the commit rule is known to hold for the file's content as this
// process last read or wrote it: the process wrote it under the rule, or ran
// the rule on it and the rule changed nothing. False inside a scope of the
// file and for a file not read yet.
bool ruleHolds(const std::string& file);
// The rule holds for the file's content when that has this digest
// (contentDigest): a change that changes nothing else then does not run the
// rule on it. For what an earlier run found, as ruleHolds told it.
void trustRuleFor(const std::string& file, std::uint64_t digest);
// Whether the file's content had this trusted digest when a change found it
// so (see trustRuleFor), and every change of the file since was this
// process's own.
bool unchangedByOthersSince(const std::string& file, std::uint64_t digest);
// The rule now gives other answers: what was known of where it holds goes.
void ruleChanged();

// Which files are read only when they are the running user's own (checked
// on the opened file, each time the file is read): the files of a folder
// that other users may write. Another user's file there reads as an error.
void setOwnFilesOnly(std::function<bool(const std::string& file)> rule);

// While a ReadSnapshot of a file lives, reads of the file (outside a scope)
// take it as it was at the first read, instead of looking at the disk on
// each one: a pass that reads thousands of keys does not pay for a look at
// the file per key. A change of the file still takes the file as it is
// under the lock, and the program's own changes are seen at once.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(std::string file);
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  std::string file_;
};

// Runs `step` while holding the file's lock (the one every change of the
// file takes); Busy when the lock was not free within the wait, Failed when
// the lock file cannot be opened.
Outcome whileLocked(const std::string& file, const std::function<void()>& step);

// How long a change waits for the lock, in milliseconds.
void setLockWait(unsigned ms);

// The number of times a file was parsed since the start (to see the cache
// at work), and the reset of the cache (and of what trustRuleFor and
// unchangedByOthersSince know).
unsigned long parseCount();
void forgetCachedFiles();

}  // namespace nfy::ini
