#include "regtool/reg_import.h"

#include "base/text.h"
#include "base/utf8.h"
#include "platform/codepage.h"
#include "registry/key_path.h"

namespace nfy::regtool {
namespace {

constexpr std::string_view kSignature4 = "REGEDIT4";
constexpr std::string_view kSignature5 = "Windows Registry Editor Version 5.00";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-16 little-endian bytes as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes) {
  std::string out;
  size_t n = bytes.size() / 2;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
  };
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
      platform::appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      platform::appendUtf8(out, 0xFFFD);
    } else {
      platform::appendUtf8(out, u);
    }
  }
  return out;
}

struct Failure {
  int line;
  std::string what;
};

class Parser {
 public:
  explicit Parser(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      pos = end + 1;
    }
  }

  std::vector<ImportEntry> run() {
    size_t n = 0;
    for (; n < lines_.size(); ++n) {
      std::string t = trimmedLine(n);
      if (t.empty() || t[0] == ';') continue;
      if (t != kSignature4 && t != kSignature5) fail(n, "the file does not begin with \"REGEDIT4\"");
      // The newer format's hex(1) strings are UTF-16.
      unicode_ = t == kSignature5;
      break;
    }
    if (n >= lines_.size()) fail(0, "the file is empty");
    for (++n; n < lines_.size(); ++n) {
      std::string t = trimmedLine(n);
      if (t.empty() || t[0] == ';') continue;
      if (t[0] == '[') {
        keyLine(n, t);
      } else {
        n = valueLine(n, t);
      }
    }
    return std::move(entries_);
  }

 private:
  [[noreturn]] void fail(size_t index, std::string what) { throw Failure{static_cast<int>(index + 1), what}; }

  std::string trimmedLine(size_t n) const {
    std::string_view l = lines_[n];
    size_t b = l.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    size_t e = l.find_last_not_of(" \t");
    return std::string(l.substr(b, e - b + 1));
  }

  void keyLine(size_t n, const std::string& t) {
    if (t.back() != ']') fail(n, "a key line must end in \"]\"");
    bool remove = t.size() > 1 && t[1] == '-';
    std::string path = t.substr(remove ? 2 : 1, t.size() - (remove ? 3 : 2));
    std::string copy = path, subKey;
    if (path.empty() || registry::parseKeyPath(copy, subKey) == 0) {
      fail(n, "\"" + path + "\" does not begin with a root key name");
    }
    if (copy.find('\\') != std::string::npos && subKey.empty()) fail(n, "the key name is empty");
    current_ = path;
    deleted_ = remove;
    ImportEntry e;
    e.kind = remove ? ImportEntry::Kind::DeleteKey : ImportEntry::Kind::Key;
    e.line = static_cast<int>(n + 1);
    e.path = path;
    entries_.push_back(std::move(e));
  }

  // Reads a quoted text at s[i] == '"'; i ends after the closing quote.
  std::string quotedText(size_t n, const std::string& s, size_t& i) {
    std::string out;
    for (++i; i < s.size(); ++i) {
      char c = s[i];
      if (c == '"') {
        ++i;
        return out;
      }
      if (c == '\\') {
        if (++i >= s.size()) break;
        switch (s[i]) {
          case '\\': c = '\\'; break;
          case '"': c = '"'; break;
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case '0': c = '\0'; break;
          default: fail(n, std::string("unknown escape \"\\") + s[i] + "\"");
        }
      }
      out += c;
    }
    fail(n, "a quoted text has no closing quote");
  }

  std::string hexBytes(size_t n, std::string_view list) {
    std::string out;
    std::string s = trim(list);
    if (s.empty()) return out;
    size_t i = 0;
    while (true) {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
      int value = 0, digits = 0;
      while (i < s.size() && digits < 2 && hexDigit(s[i]) >= 0) value = value * 16 + hexDigit(s[i++]), ++digits;
      if (digits == 0) fail(n, "a hex list holds something that is no hex byte");
      out += static_cast<char>(value);
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
      if (i == s.size()) return out;
      if (s[i++] != ',') fail(n, "hex bytes must be separated by commas");
    }
  }

  // The text of a string value given as hex(1) bytes, without its closing NULs.
  std::string stringFromBytes(std::string bytes) {
    if (unicode_) {
      while (bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0)
        bytes.resize(bytes.size() - 2);
      return platform::utf8ToAnsi(utf16ToUtf8(bytes));
    }
    while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    return bytes;
  }

  size_t valueLine(size_t n, std::string t) {
    const size_t first = n;
    if (current_.empty()) fail(n, "a value stands before the first key");
    ImportEntry e;
    e.line = static_cast<int>(n + 1);
    e.path = current_;
    size_t i = 0;
    if (t[0] == '@') {
      i = 1;
    } else if (t[0] == '"') {
      e.name = quotedText(n, t, i);
    } else {
      fail(n, "a value line must begin with a quoted name or \"@\"");
    }
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    if (i >= t.size() || t[i] != '=') fail(n, "\"=\" is missing after the value's name");
    std::string data = trim(std::string_view(t).substr(i + 1));
    // Hex lists may go on over several lines, each but the last ending in "\".
    if (data.rfind("hex", 0) == 0) {
      while (!data.empty() && data.back() == '\\') {
        data.pop_back();
        if (++n >= lines_.size()) fail(first, "the file ends inside a hex list");
        data += trimmedLine(n);
      }
    }
    if (deleted_) fail(first, "a value stands under a key that the file deletes");
    if (data == "-") {
      e.kind = ImportEntry::Kind::DeleteValue;
    } else if (!data.empty() && data[0] == '"') {
      size_t j = 0;
      e.kind = ImportEntry::Kind::String;
      e.data = quotedText(first, data, j);
      if (!trim(std::string_view(data).substr(j)).empty()) fail(first, "text follows the closing quote");
    } else if (data.rfind("dword:", 0) == 0) {
      std::string digits = trim(std::string_view(data).substr(6));
      if (digits.empty() || digits.size() > 8) fail(first, "a dword needs one to eight hex digits");
      for (char c : digits) {
        if (hexDigit(c) < 0) fail(first, "a dword needs one to eight hex digits");
        e.number = e.number * 16 + static_cast<uint32_t>(hexDigit(c));
      }
      e.kind = ImportEntry::Kind::Dword;
    } else if (data.rfind("hex:", 0) == 0) {
      e.kind = ImportEntry::Kind::Binary;
      e.data = hexBytes(first, std::string_view(data).substr(4));
    } else if (data.rfind("hex(", 0) == 0) {
      size_t close = data.find("):");
      if (close == std::string::npos || close == 4 || close > 12) fail(first, "a hex(type) value is malformed");
      uint32_t type = 0;
      for (char c : data.substr(4, close - 4)) {
        if (hexDigit(c) < 0) fail(first, "a hex(type) value is malformed");
        type = type * 16 + static_cast<uint32_t>(hexDigit(c));
      }
      std::string bytes = hexBytes(first, std::string_view(data).substr(close + 2));
      if (type == 1) {
        e.kind = ImportEntry::Kind::String;
        e.data = stringFromBytes(std::move(bytes));
      } else if (type == 3) {
        e.kind = ImportEntry::Kind::Binary;
        e.data = std::move(bytes);
      } else if (type == 4 && bytes.size() == 4) {
        e.kind = ImportEntry::Kind::Dword;
        for (int b = 3; b >= 0; --b) e.number = e.number << 8 | static_cast<unsigned char>(bytes[b]);
      } else {
        fail(first,
             "values of type " + data.substr(0, close + 1) + " cannot be imported (string, binary and dword only)");
      }
    } else {
      fail(first, "the value's data is not a string, dword:, hex: or hex(type):");
    }
    entries_.push_back(std::move(e));
    return n;
  }

  bool unicode_ = false;
  std::vector<std::string_view> lines_;
  std::vector<ImportEntry> entries_;
  std::string current_;
  bool deleted_ = false;
};

}  // namespace

ImportFile parseImportFile(std::string_view bytes) {
  ImportFile result;
  if (bytes.size() > kMaxImportBytes) {
    result.error = "the file is larger than " + std::to_string(kMaxImportBytes >> 20) + " MiB";
    return result;
  }
  std::string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = platform::utf8ToAnsi(utf16ToUtf8(bytes.substr(2)));
  } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = platform::utf8ToAnsi(bytes.substr(3));
  } else {
    text = std::string(bytes);
  }
  try {
    Parser parser(text);
    result.entries = parser.run();
    result.ok = true;
  } catch (const Failure& f) {
    result.errorLine = f.line;
    result.error = f.what;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  return result;
}

}  // namespace nfy::regtool
