// An INI file in memory, read and written the way the system's
// private-profile functions do it, so that files pass between this program
// and the other programs that share them without surprises:
//
// - a line's leading blanks (space, tab, CR, LF, VT, FF and Ctrl-Z) are
//   ignored, and so are empty lines;
// - "[" starts a section header that ends at the last "]" of the line (the
//   rest of the line is ignored); the name between is trimmed; a "[" line
//   without "]" is an ordinary line;
// - any other line is a key: the name up to the first "=", the value after
//   it, both trimmed; a line without "=" is a key without a value (comments
//   are such lines, or keys whose names begin with ";"); a key without a
//   name that follows another one in its section is dropped;
// - lines before the first header belong to a nameless section;
// - names match without regard to (ASCII) case, and only the first of
//   several sections or keys of one name is ever looked at;
// - the file is always written whole: a header per named section, then its
//   lines as key=value, CR LF after each, nothing else. A UTF-8 byte order
//   mark at the start is kept (the text is then UTF-8), and broken UTF-8
//   sequences in such a file read as U+FFFD, as the system's decoder reads
//   them; a UTF-16 file is not supported (it reads as empty and is never
//   written);
// - a write stores names and value without the blanks around them, but the
//   file gets them as written (leading blanks dropped, trailing ones kept)
//   until the document is edited again: a read of the file drops them too;
// - a document whose written text would read back as another one (a key
//   name holding "=", a "[]" section after the first) says so
//   (roundTrips()), and the caller reads what was written.
//
// The document is kept compact, for inboxes of tens of thousands of
// sections: every name and value is a piece of one character buffer (the
// parsed text, copied in once; an edit appends what it sets), the keys of
// all sections share one array, and a section whose lines in the buffer are
// exactly its written form is written by copying them. Parsing finds the
// section headers only; a section's keys are parsed when it is first looked
// into (a run over a large inbox mostly reads a few sections and the names
// of the rest), and views of other sections stay good meanwhile. The pieces that
// edits leave behind are dropped when they outgrow the rest. A document
// holds at most 2 GiB of text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nfy::ini {

// The blanks that the profile functions trim.
bool isBlank(char c);
std::string_view trimBlanks(std::string_view s);
// ASCII case-insensitive equality, as names are matched.
bool sameName(std::string_view a, std::string_view b);
// The text with each CR and LF replaced by a blank: a name or value can
// never add a line to the file.
std::string oneLine(std::string_view s);
// oneLine appended to `out`, without a string of its own.
void appendOneLine(std::string& out, std::string_view s);
// Whether `s` holds a CR or LF (oneLine would change it).
bool hasLineBreak(std::string_view s);
// A stored value as the profile functions return it: a pair of equal
// quotes around it removed.
std::string_view unquoted(std::string_view value);

namespace detail {

// A piece of a document's buffer.
struct Piece {
  std::uint32_t at = 0, size = 0;
};
struct KeyRecord {
  Piece name, value;
  bool hasValue = true;  // false for a line without "="
};
struct SectionRecord {
  Piece name;  // empty for the lines before the first header
  // Its lines in the parsed text (the header's from its line's start) while
  // its keys are not parsed yet.
  Piece lines;
  bool parsed = true;
  std::uint32_t keysAt = 0, keyCount = 0;
  std::uint32_t keyRoom = 0;  // places at keysAt that belong to it
  Piece text;                 // its written form, when textCurrent
  bool textCurrent = false;
  mutable bool firstOfName = false;  // set with the document's index
};

// The key array of a document. A copy keeps the room of the array copied:
// the sections whose keys are not parsed yet count on it.
struct KeyArray : std::vector<KeyRecord> {
  KeyArray() = default;
  KeyArray(const KeyArray& other) : std::vector<KeyRecord>() { *this = other; }
  KeyArray(KeyArray&&) noexcept = default;
  KeyArray& operator=(const KeyArray& other) {
    if (this == &other) return *this;
    clear();
    reserve(other.capacity());
    insert(end(), other.begin(), other.end());
    return *this;
  }
  KeyArray& operator=(KeyArray&&) noexcept = default;
};

// The items of an indexed range, for range-for.
template <typename Range>
class IndexIterator {
 public:
  IndexIterator(const Range* range, std::size_t i) : range_(range), i_(i) {}
  auto operator*() const { return (*range_)[i_]; }
  IndexIterator& operator++() {
    ++i_;
    return *this;
  }
  bool operator==(const IndexIterator& other) const { return i_ == other.i_; }

 private:
  const Range* range_;
  std::size_t i_;
};

}  // namespace detail

// A key of a document, and below a section and the ranges of them: views of
// the document, good until it changes.
class Key {
 public:
  std::string_view name() const { return {text_ + record_->name.at, record_->name.size}; }
  // As stored (quotes and all); "" for a key without a value.
  std::string_view value() const { return {text_ + record_->value.at, record_->value.size}; }
  bool hasValue() const { return record_->hasValue; }

 private:
  friend class Keys;
  Key(const char* text, const detail::KeyRecord* record) : text_(text), record_(record) {}
  const char* text_;
  const detail::KeyRecord* record_;
};

class Keys {
 public:
  std::size_t size() const { return size_; }
  Key operator[](std::size_t i) const { return Key(text_, first_ + i); }
  detail::IndexIterator<Keys> begin() const { return {this, 0}; }
  detail::IndexIterator<Keys> end() const { return {this, size_}; }

 private:
  friend class Section;
  Keys(const char* text, const detail::KeyRecord* first, std::size_t size) : text_(text), first_(first), size_(size) {}
  const char* text_;
  const detail::KeyRecord* first_;
  std::size_t size_;
};

class Section {
 public:
  std::string_view name() const { return {text_ + record_->name.at, record_->name.size}; }
  Keys keys() const { return Keys(text_, keys_, record_->keyCount); }
  // The value of the first key of that name (case aside; the name as the
  // file holds it, already trimmed) as the profile functions return it;
  // nullopt when the key is missing or has no value.
  std::optional<std::string_view> value(std::string_view key) const;
  // What value() gives for each of `keys` (the first kMaxValues of them),
  // in one walk over the section's keys: out[i] for keys[i].
  static constexpr std::size_t kMaxValues = 32;
  void values(std::span<const std::string_view> keys, std::span<std::optional<std::string_view>> out) const;

 private:
  friend class Document;
  Section(const char* text, const detail::SectionRecord* record, const detail::KeyRecord* keys)
      : text_(text), record_(record), keys_(keys) {}
  const char* text_;
  const detail::SectionRecord* record_;
  const detail::KeyRecord* keys_;
};

class Document;
class Sections {
 public:
  std::size_t size() const;
  Section operator[](std::size_t i) const;
  detail::IndexIterator<Sections> begin() const { return {this, 0}; }
  detail::IndexIterator<Sections> end() const { return {this, size()}; }

 private:
  friend class Document;
  explicit Sections(const Document* doc) : doc_(doc) {}
  const Document* doc_;
};

class Document {
 public:
  Document();
  static Document parse(std::string_view bytes);
  // The same document, taking `bytes` as its buffer instead of a copy when
  // it can keep them as the parsed text (an ANSI file, see parsedText());
  // otherwise `bytes` is left as it was and parsed as by parse().
  static Document adopt(std::string&& bytes);

  // The file text the document was parsed from, when the document keeps it
  // (an ANSI file: the start of its buffer, which edits only add to; kept
  // aside when the buffer is compacted); nullopt for a UTF-8 or UTF-16 file
  // and for a document not parsed from a file.
  std::optional<std::string_view> parsedText() const;

  // Ansi: single-byte text; Utf8: the file begins with a UTF-8 byte order
  // mark; Unsupported: a UTF-16 file, left empty here and never written.
  enum class Encoding { Ansi, Utf8, Unsupported };
  Encoding encoding() const { return encoding_; }

  // The whole file text into `out` (replacing its content).
  void serializeTo(std::string& out);

  // False when parsing the serialized text would not give this document
  // back (a key name holding "=", a nameless section after the first):
  // the caller should then parse what was written.
  bool roundTrips() const { return !lateNameless_ && !keyWithEquals_; }

  // The value of a key as the profile functions return it (a pair of equal
  // quotes around it removed); false when the section or key is missing or
  // the key has no value.
  bool value(std::string_view section, std::string_view key, std::string& out) const;

  // The section that `section` finds (case and blanks around aside): the
  // first of that name; nullopt when there is none.
  std::optional<Section> find(std::string_view section) const;

  // Every named section, in file order (the same name more than once when
  // the file holds it so).
  std::vector<std::string> sectionNames() const;

  // The name of the section that `section` finds (case and blanks around
  // aside) as the file spells it; nullopt when there is none.
  std::optional<std::string_view> storedName(std::string_view section) const;

  // Calls visit(Section) for each named section that is the first of its
  // name (case aside), in file order: the sections that reads find.
  template <typename Visit>
  void forEachFirstOfName(Visit&& visit) const {
    index();
    for (std::size_t i = 1; i < sections_.size(); ++i) {
      if (sections_[i].firstOfName && sections_[i].name.size > 0) visit(sections()[i]);
    }
  }

  enum class Edit { Unchanged, Changed };
  // Sets a key, creating the section and key as needed: an existing key
  // keeps its place and spelling, a new key goes at the end of its section,
  // a new section at the end of the file. Names and value must already be
  // free of line breaks. The value is stored without its leading blanks.
  // `before`, when given, gets the value that a key the set changes had (as
  // value() reads it); it is left empty when the set adds the key.
  Edit set(std::string_view section, std::string_view key, std::string_view value,
           std::optional<std::string>* before = nullptr);

  // Removes the first section of exactly that name (case aside, blanks
  // counting) with all its keys; false when there is none.
  bool removeSection(std::string_view section);

  // Every section, the nameless one first.
  Sections sections() const { return Sections(this); }

 private:
  friend class Sections;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::string_view piece(detail::Piece p) const { return {text_.data() + p.at, p.size}; }
  detail::Piece append(std::string_view s);
  Section view(std::size_t i) const {
    if (!sections_[i].parsed) parseKeys(i);
    return Section(text_.data(), &sections_[i], keys_.data() + sections_[i].keysAt);
  }
  // Parses the keys of section i (of every section) not parsed yet. The
  // key array has room for them all (see parseText), so that views taken
  // before stay good.
  void parseKeys(std::size_t i) const;
  void parseAllKeys() const;
  // Whether the lines of section i, not parsed yet, are its written form
  // as they stand (false also when that takes a parse to tell).
  bool linesAreWritten(std::size_t i) const;
  // The place of the first section of exactly this name, case aside.
  std::size_t findExactly(std::string_view name) const;
  void index() const;
  void addToIndex(std::size_t section) const;
  // A free place for one more key at the end of the section's keys.
  void makeRoomForKey(detail::SectionRecord& s);
  void buildText(std::size_t section);
  void refreshPendingRaw();
  void compactWhenWasteful();
  void compact();
  // Parses text_, the file's text as the document keeps it.
  void parseText();

  std::string text_;  // every name and value is a piece of it
  // Of all sections; each section owns a run. Mutable, as are the sections:
  // a read parses a section's keys when it first looks into it.
  mutable detail::KeyArray keys_;
  mutable std::vector<detail::SectionRecord> sections_;  // [0] is the nameless section, always there
  mutable std::size_t unparsed_ = 0;                     // sections whose keys are not parsed yet
  std::size_t lazyKeys_ = 0;  // the most keys those can have: the room the key array keeps for them
  // Open addressing: the place + 1 of the first section of each name (0 for
  // a free slot), so that a look-up does not walk an inbox of thousands of
  // sections; built when first needed, and again after a section was
  // removed.
  mutable std::vector<std::uint32_t> slots_;
  mutable bool indexed_ = false;
  // The section that the last look-up found: still the first of its name
  // until a section is removed (new ones go at the end).
  mutable std::size_t lastFound_ = kNone;
  std::size_t textKept_ = 0;               // the buffer's size when it last held nothing unused
  std::size_t parsedSize_ = kNone;         // text_ begins with the parsed file of this size
  std::optional<std::string> parsedKept_;  // the parsed file, once a compaction rewrote text_
  std::size_t keysUnused_ = 0;             // places in keys_ that no section owns
  Encoding encoding_ = Encoding::Ansi;
  bool lateNameless_ = false;   // a "[]" section after the first, merged into the one before on reading
  bool keyWithEquals_ = false;  // a written key name holding "="
  // The section whose text holds a value exactly as it was written (with
  // trailing blanks that a re-read would drop); rebuilt before the next edit.
  std::size_t rawSection_ = kNone;
};

inline std::size_t Sections::size() const { return doc_->sections_.size(); }
inline Section Sections::operator[](std::size_t i) const { return doc_->view(i); }

}  // namespace nfy::ini
