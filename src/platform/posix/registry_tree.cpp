#include "platform/posix/registry_tree.h"

#include <algorithm>
#include <cstdio>

namespace nfy::platform::reg::store {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool before(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return lower(x) < lower(y); });
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Reads a quoted string at s[i] == '"' with \\ and \" escapes; i ends after
// the closing quote.
bool readQuoted(std::string_view s, size_t& i, std::string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  out.clear();
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return ++i, true;
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
      c = s[++i];
    }
    out += c;
  }
  return false;  // no closing quote
}

// Reads "hh,hh,..." (the whole text) into bytes.
bool readHexList(std::string_view s, std::vector<unsigned char>& out) {
  out.clear();
  s = trimmed(s);
  if (s.empty()) return true;
  size_t i = 0;
  while (true) {
    while (i < s.size() && s[i] == ' ') ++i;
    int value = 0, digits = 0;
    while (i < s.size() && hexDigit(s[i]) >= 0 && digits < 2) value = value * 16 + hexDigit(s[i++]), ++digits;
    if (digits == 0) return false;
    out.push_back(static_cast<unsigned char>(value));
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return true;
    if (s[i++] != ',') return false;
  }
}

bool readData(std::string_view s, uint32_t& type, std::vector<unsigned char>& data) {
  if (!s.empty() && s[0] == '"') {
    size_t i = 0;
    std::string text;
    if (!readQuoted(s, i, text) || !trimmed(s.substr(i)).empty()) return false;
    type = 1;
    data.assign(text.begin(), text.end());
    data.push_back(0);
    return true;
  }
  if (s.substr(0, 6) == "dword:") {
    std::string_view digits = trimmed(s.substr(6));
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      if (hexDigit(c) < 0) return false;
      v = v * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    type = 4;
    data = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 24)};
    return true;
  }
  if (s.substr(0, 4) == "hex:") {
    type = 3;
    return readHexList(s.substr(4), data);
  }
  if (s.substr(0, 4) == "hex(") {
    size_t close = s.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return false;
    uint32_t t = 0;
    for (char c : s.substr(4, close - 4)) {
      if (hexDigit(c) < 0) return false;
      t = t * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    type = t;
    return readHexList(s.substr(close + 2), data);
  }
  return false;
}

// Splits "ROOT\a\b" into its names below the root; false when the root
// differs or a name is not valid.
bool splitHeader(std::string_view path, std::string_view rootName, std::vector<std::string_view>& names) {
  names.clear();
  size_t slash = path.find('\\');
  if (!same(path.substr(0, slash), rootName)) return false;
  while (slash != std::string_view::npos) {
    size_t next = path.find('\\', slash + 1);
    std::string_view name = path.substr(slash + 1, next == std::string_view::npos ? next : next - slash - 1);
    if (!validKeyName(name) || names.size() >= kMaxDepth) return false;
    names.push_back(name);
    slash = next;
  }
  return true;
}

void appendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void appendHex(std::string& out, const std::vector<unsigned char>& data) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out += ',';
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
}

// A string value whose data is text and one closing NUL is written as "text".
bool plainString(const Value& v) {
  if (v.type != 1 || v.data.empty() || v.data.back() != 0) return false;
  return std::none_of(v.data.begin(), v.data.end() - 1,
                      [](unsigned char c) { return c == 0 || c == '\r' || c == '\n'; });
}

void appendValue(std::string& out, const Value& v) {
  if (v.name.empty()) {
    out += '@';
  } else {
    appendQuoted(out, v.name);
  }
  out += '=';
  if (plainString(v)) {
    appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
  } else if (v.type == 4 && v.data.size() == 4) {
    uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
    char buf[20];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
  } else if (v.type == 3) {
    out += "hex:";
    appendHex(out, v.data);
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    out += buf;
    appendHex(out, v.data);
  }
  out += '\n';
}

void appendKey(std::string& out, const Node& node, const std::string& path, bool isRoot) {
  if (!isRoot || !node.values().empty()) {
    out += "[" + path + "]\n";
    for (const Value& v : node.values()) appendValue(out, v);
    out += '\n';
  }
  for (const auto& c : node.children()) appendKey(out, *c, path + "\\" + c->name(), false);
}

}  // namespace

Node* Node::child(std::string_view name) const {
  for (const auto& c : children_) {
    if (same(c->name_, name)) return c.get();
  }
  return nullptr;
}

Node& Node::ensureChild(std::string_view name) {
  if (Node* c = child(name)) return *c;
  auto at = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return before(name, c->name_); });
  return **children_.insert(at, std::make_unique<Node>(std::string(name)));
}

bool Node::removeChild(std::string_view name) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return same(c->name_, name); });
  if (it == children_.end()) return false;
  children_.erase(it);
  return true;
}

const Value* Node::value(std::string_view name) const {
  for (const auto& v : values_) {
    if (same(v.name, name)) return &v;
  }
  return nullptr;
}

void Node::setValue(std::string_view name, uint32_t type, std::vector<unsigned char> data) {
  for (auto& v : values_) {
    if (same(v.name, name)) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  values_.push_back(Value{std::string(name), type, std::move(data)});
}

bool Node::removeValue(std::string_view name) {
  auto it = std::find_if(values_.begin(), values_.end(), [&](const Value& v) { return same(v.name, name); });
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

bool validKeyName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength && name.find_first_of("\\\r\n") == std::string_view::npos;
}

bool validValueName(std::string_view name) { return name.find_first_of("\r\n") == std::string_view::npos; }

bool parse(std::string_view text, std::string_view rootName, Node& root) {
  std::vector<std::string_view> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(trimmed(line));
    pos = end + 1;
  }

  bool sawSignature = false;
  Node* current = nullptr;
  std::vector<std::string_view> names;
  for (size_t n = 0; n < lines.size(); ++n) {
    std::string_view line = lines[n];
    if (line.empty() || line[0] == ';') continue;
    if (!sawSignature) {
      if (line != "REGEDIT4") return false;
      sawSignature = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.size() < 3 || line.back() != ']' || line[1] == '-') return false;
      if (!splitHeader(line.substr(1, line.size() - 2), rootName, names)) return false;
      current = &root;
      for (auto name : names) current = &current->ensureChild(name);
      continue;
    }
    if (!current) return false;  // a value before any key

    // A hex list may go on over several lines, each but the last ending in "\".
    std::string entry(line);
    while (entry.back() == '\\') {
      entry.pop_back();
      if (++n >= lines.size()) return false;  // the file ends inside a value
      entry += lines[n];
      if (entry.empty()) return false;
    }
    std::string name;
    size_t i = 0;
    if (entry[0] == '@') {
      i = 1;
    } else if (!readQuoted(entry, i, name)) {
      return false;
    }
    while (i < entry.size() && entry[i] == ' ') ++i;
    if (i >= entry.size() || entry[i] != '=') return false;
    uint32_t type = 0;
    std::vector<unsigned char> data;
    if (!readData(trimmed(std::string_view(entry).substr(i + 1)), type, data)) return false;
    current->setValue(name, type, std::move(data));
  }
  return sawSignature || trimmed(text).empty();
}

std::string serialize(const Node& root, std::string_view rootName) {
  std::string out = "REGEDIT4\n\n";
  appendKey(out, root, std::string(rootName), true);
  return out;
}

}  // namespace nfy::platform::reg::store
