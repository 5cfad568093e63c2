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
//   mark at the start is kept (the text is then UTF-8).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
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
// A stored value as the profile functions return it: a pair of equal
// quotes around it removed.
std::string_view unquoted(std::string_view value);

struct Key {
  std::string name;
  std::string value;
  bool hasValue = true;  // false for a line without "="
};

struct Section {
  std::string name;  // empty for the lines before the first header
  std::vector<Key> keys;
  // This section's part of the file text, built when needed.
  std::string text;
  bool textCurrent = false;
};

class Document {
 public:
  Document();
  static Document parse(std::string_view bytes);

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

  // Every named section, in file order (the same name more than once when
  // the file holds it so).
  std::vector<std::string> sectionNames() const;

  // The name of the section that `section` finds (case and blanks around
  // aside) as the file spells it; nullptr when there is none.
  const std::string* storedName(std::string_view section) const;

  enum class Edit { Unchanged, Changed };
  // Sets a key, creating the section and key as needed: an existing key
  // keeps its place and spelling, a new key goes at the end of its section,
  // a new section at the end of the file. Names and value must already be
  // free of line breaks. The value is stored without its leading blanks.
  Edit set(std::string_view section, std::string_view key, std::string_view value);

  // Removes the first section of exactly that name (case aside, blanks
  // counting) with all its keys; false when there is none.
  bool removeSection(std::string_view section);

  const std::vector<Section>& sections() const { return sections_; }

 private:
  Section* find(std::string_view name);
  const Section* find(std::string_view name) const;
  // The first section of exactly this name, case aside.
  Section* findExactly(std::string_view name);
  void refreshPendingRaw();

  std::vector<Section> sections_;  // [0] is the nameless section, always there
  // The place of the first section of each name (in upper case), so that a
  // look-up does not walk an inbox of thousands of sections; built when
  // first needed, and again after a section was removed.
  struct FoldedHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return sameName(a, b); }
  };
  mutable std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> index_;
  mutable bool indexed_ = false;
  Encoding encoding_ = Encoding::Ansi;
  bool lateNameless_ = false;   // a "[]" section after the first, merged into the one before on reading
  bool keyWithEquals_ = false;  // a written key name holding "="
  // The section whose text holds a value exactly as it was written (with
  // trailing blanks that a re-read would drop); rebuilt before the next edit.
  std::size_t rawSection_ = kNone;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
};

}  // namespace nfy::ini
