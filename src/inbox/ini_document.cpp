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

void appendKeyLine(std::string& out, const Key& k, std::string_view value) {
  out += k.name;
  if (k.hasValue) {
    out += '=';
    out += value;
  }
  out += kEol;
}

// The section's lines; the key at `rawKey` (if any) is written with
// `rawValue` in place of its stored value.
void buildText(Section& s, size_t rawKey = static_cast<size_t>(-1), std::string_view rawValue = {}) {
  s.text.clear();
  if (!s.name.empty()) {
    s.text += '[';
    s.text += s.name;
    s.text += ']';
    s.text += kEol;
  }
  for (size_t i = 0; i < s.keys.size(); ++i) appendKeyLine(s.text, s.keys[i], i == rawKey ? rawValue : s.keys[i].value);
  s.textCurrent = true;
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

Document::Document() { sections_.emplace_back(); }

Document Document::parse(std::string_view bytes) {
  Document doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.bom_ = true;
    bytes.remove_prefix(kBom.size());
  }
  Section* current = &doc.sections_.front();
  size_t pos = 0;
  while (pos < bytes.size()) {
    // A line ends at CR, LF or CR LF.
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = trimLeft(bytes.substr(pos, end - pos));
    pos = end;
    if (pos < bytes.size() && bytes[pos++] == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
    if (line.empty()) continue;
    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        Section& s = doc.sections_.emplace_back();
        s.name = trimBlanks(line.substr(1, close - 1));
        current = &s;
        continue;
      }
    }
    Key& k = current->keys.emplace_back();
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      k.name = trimBlanks(line);
      k.hasValue = false;
    } else {
      k.name = trimBlanks(line.substr(0, eq));
      k.value = trimBlanks(line.substr(eq + 1));
    }
  }
  return doc;
}

void Document::serializeTo(std::string& out) {
  size_t total = bom_ ? kBom.size() : 0;
  for (Section& s : sections_) {
    if (!s.textCurrent) buildText(s);
    total += s.text.size();
  }
  out.clear();
  out.reserve(total);
  if (bom_) out += kBom;
  for (const Section& s : sections_) out += s.text;
}

bool Document::roundTrips() const {
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0 && sections_[i].name.empty()) return false;
    for (const Key& k : sections_[i].keys) {
      if (k.hasValue && k.name.find('=') != std::string::npos) return false;
    }
  }
  return true;
}

Section* Document::find(std::string_view name) {
  name = trimBlanks(name);
  for (Section& s : sections_) {
    if (sameName(s.name, name)) return &s;
  }
  return nullptr;
}

const Section* Document::find(std::string_view name) const { return const_cast<Document*>(this)->find(name); }

bool Document::value(std::string_view section, std::string_view key, std::string& out) const {
  out.clear();
  const Section* s = find(section);
  if (!s) return false;
  key = trimBlanks(key);
  for (const Key& k : s->keys) {
    if (!sameName(k.name, key)) continue;
    if (!k.hasValue) return false;
    std::string_view v = k.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    out.assign(v);
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
  section = trimBlanks(section);
  key = trimBlanks(key);
  std::string_view raw = trimLeft(value);
  std::string_view stored = trimBlanks(raw);
  Section* s = find(section);
  if (!s) {
    s = &sections_.emplace_back();
    s->name = section;
  }
  size_t index = 0;
  while (index < s->keys.size() && !sameName(s->keys[index].name, key)) ++index;
  if (index == s->keys.size()) {
    Key& k = s->keys.emplace_back();
    k.name = key;
  } else if (s->keys[index].hasValue && s->keys[index].value == raw) {
    return Edit::Unchanged;
  }
  Key& k = s->keys[index];
  k.hasValue = true;
  k.value = stored;
  // The file gets the value as written; a later read of the file drops its
  // trailing blanks, as the stored value already has.
  if (raw.size() != stored.size()) {
    buildText(*s, index, raw);
    rawSection_ = static_cast<size_t>(s - sections_.data());
  } else {
    s->textCurrent = false;
  }
  return Edit::Changed;
}

bool Document::removeSection(std::string_view section) {
  refreshPendingRaw();
  Section* s = find(section);
  if (!s) return false;
  if (s == &sections_.front()) {
    // The lines before the first header: they go, the place stays.
    s->keys.clear();
    s->textCurrent = false;
  } else {
    sections_.erase(sections_.begin() + (s - sections_.data()));
  }
  return true;
}

}  // namespace nfy::ini
