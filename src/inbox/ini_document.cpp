#include "inbox/ini_document.h"

namespace nfy::ini {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";

char foldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && isBlank(s[b])) ++b;
  return s.substr(b);
}

// Names and a value exactly as a write gave them (leading blanks dropped),
// for the one section that a write changed: that is how the file gets them,
// while a later read of the file, like the document itself, has them trimmed.
struct RawText {
  std::string_view header;  // a new section's name, or empty
  size_t key = static_cast<size_t>(-1);
  std::string_view keyName;
  std::string_view value;
};

// The section's lines, with the written key and header as `raw` has them.
void buildText(Section& s, const RawText* raw = nullptr) {
  s.text.clear();
  if (!s.name.empty()) {
    s.text += '[';
    s.text += raw && !raw->header.empty() ? raw->header : std::string_view(s.name);
    s.text += ']';
    s.text += kEol;
  }
  for (size_t i = 0; i < s.keys.size(); ++i) {
    const Key& k = s.keys[i];
    bool isRaw = raw && i == raw->key;
    s.text += isRaw ? raw->keyName : std::string_view(k.name);
    if (k.hasValue) {
      s.text += '=';
      s.text += isRaw ? raw->value : std::string_view(k.value);
    }
    s.text += kEol;
  }
  s.textCurrent = true;
}

// UTF-8 text with each broken sequence (the longest start of a valid one,
// or a single stray byte) replaced by U+FFFD, as the system's decoder does
// when it reads such a file.
std::string repairUtf8(std::string_view s) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    }
    size_t good = len ? 1 : 0;
    while (good > 0 && good < len && i + good < s.size()) {
      unsigned char next = static_cast<unsigned char>(s[i + good]);
      if (good == 1 ? (next < lo || next > hi) : (next < 0x80 || next > 0xBF)) break;
      ++good;
    }
    if (len && good == len) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      out += kReplacement;
      i += good ? good : 1;
    }
  }
  return out;
}

}  // namespace

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view trimBlanks(std::string_view s) {
  s = trimLeft(s);
  size_t e = s.size();
  while (e > 0 && isBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

std::string oneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string_view unquoted(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

Document::Document() { sections_.emplace_back(); }

Document Document::parse(std::string_view bytes) {
  Document doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.encoding_ = Encoding::Utf8;
    bytes.remove_prefix(kBom.size());
  } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    doc.encoding_ = Encoding::Unsupported;
    return doc;
  }
  std::string repaired;
  if (doc.encoding_ == Encoding::Utf8) {
    repaired = repairUtf8(bytes);
    bytes = repaired;
  }
  Section* current = &doc.sections_.front();
  size_t pos = 0;
  while (pos < bytes.size()) {
    // A line ends at CR, LF or CR LF.
    size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    std::string_view line = trimLeft(bytes.substr(pos, end - pos));
    pos = end;
    if (pos < bytes.size() && bytes[pos++] == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
    if (line.empty()) continue;
    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        // The sections of an inbox hold alike many keys: room for as many
        // as the one before saves growing each one key by key.
        const size_t keysBefore = current->keys.size();
        Section& s = doc.sections_.emplace_back();
        s.keys.reserve(keysBefore);
        s.name = trimBlanks(line.substr(1, close - 1));
        if (s.name.empty()) doc.lateNameless_ = true;
        current = &s;
        continue;
      }
    }
    size_t eq = line.find('=');
    std::string_view name = trimBlanks(eq == std::string_view::npos ? line : line.substr(0, eq));
    // A key without a name right after another one is dropped.
    if (name.empty() && !current->keys.empty() && current->keys.back().name.empty()) continue;
    Key& k = current->keys.emplace_back();
    k.name = name;
    if (eq == std::string_view::npos) {
      k.hasValue = false;
    } else {
      k.value = trimBlanks(line.substr(eq + 1));
    }
  }
  return doc;
}

void Document::serializeTo(std::string& out) {
  const bool bom = encoding_ == Encoding::Utf8;
  size_t total = bom ? kBom.size() : 0;
  for (Section& s : sections_) {
    if (!s.textCurrent) buildText(s);
    total += s.text.size();
  }
  out.clear();
  out.reserve(total);
  if (bom) out += kBom;
  for (const Section& s : sections_) out += s.text;
}

std::size_t Document::FoldedHash::operator()(std::string_view name) const {
  std::size_t h = 14695981039346656037ull;  // FNV-1a over the upper-case name
  for (char c : name) h = (h ^ static_cast<unsigned char>(foldCase(c))) * 1099511628211ull;
  return h;
}

Section* Document::findExactly(std::string_view name) {
  if (!indexed_) {
    index_.clear();
    index_.reserve(sections_.size());
    for (size_t i = 0; i < sections_.size(); ++i) index_.emplace(sections_[i].name, i);
    indexed_ = true;
  }
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : &sections_[it->second];
}

Section* Document::find(std::string_view name) { return findExactly(trimBlanks(name)); }

const Section* Document::find(std::string_view name) const { return const_cast<Document*>(this)->find(name); }

const std::string* Document::storedName(std::string_view section) const {
  const Section* s = find(section);
  return s ? &s->name : nullptr;
}

bool Document::value(std::string_view section, std::string_view key, std::string& out) const {
  out.clear();
  const Section* s = find(section);
  if (!s) return false;
  key = trimBlanks(key);
  for (const Key& k : s->keys) {
    if (!sameName(k.name, key)) continue;
    if (!k.hasValue) return false;
    out.assign(unquoted(k.value));
    return true;
  }
  return false;
}

std::vector<std::string> Document::sectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) {
    if (!s.name.empty()) names.push_back(s.name);
  }
  return names;
}

void Document::refreshPendingRaw() {
  if (rawSection_ == kNone) return;
  sections_[rawSection_].textCurrent = false;
  rawSection_ = kNone;
}

Document::Edit Document::set(std::string_view section, std::string_view key, std::string_view value) {
  refreshPendingRaw();
  RawText raw;
  raw.keyName = trimLeft(key);
  raw.value = trimLeft(value);
  std::string_view sectionRaw = trimLeft(section);
  section = trimBlanks(sectionRaw);
  key = trimBlanks(raw.keyName);
  std::string_view stored = trimBlanks(raw.value);
  Section* s = find(section);
  if (!s) {
    s = &sections_.emplace_back();
    s->name = section;
    raw.header = sectionRaw;
    if (indexed_) index_.emplace(s->name, sections_.size() - 1);
  }
  size_t index = 0;
  while (index < s->keys.size() && !sameName(s->keys[index].name, key)) ++index;
  if (index == s->keys.size()) {
    Key& k = s->keys.emplace_back();
    k.name = key;
    if (key.find('=') != std::string_view::npos) keyWithEquals_ = true;
  } else {
    if (s->keys[index].hasValue && s->keys[index].value == raw.value) return Edit::Unchanged;
    raw.keyName = s->keys[index].name;  // an existing key keeps its spelling
  }
  Key& k = s->keys[index];
  k.hasValue = true;
  k.value = stored;
  raw.key = index;
  if (raw.header.size() > section.size() || raw.keyName.size() > key.size() || raw.value.size() > stored.size()) {
    buildText(*s, &raw);
    rawSection_ = static_cast<size_t>(s - sections_.data());
  } else {
    s->textCurrent = false;
  }
  return Edit::Changed;
}

bool Document::removeSection(std::string_view section) {
  refreshPendingRaw();
  // Unlike reads and writes, a deletion takes the name as it is: blanks
  // around it are part of it, and then no section has it.
  Section* s = findExactly(section);
  if (!s) return false;
  if (s == &sections_.front()) {
    // The lines before the first header: they go, the place stays.
    s->keys.clear();
    s->textCurrent = false;
  } else {
    sections_.erase(sections_.begin() + (s - sections_.data()));
    indexed_ = false;  // the places after it moved
  }
  return true;
}

}  // namespace nfy::ini
