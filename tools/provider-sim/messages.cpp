#include "messages.h"

#include <sstream>
#include <utility>
#include <vector>

namespace sim {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Element names are kept to a plain subset of XML names so that a typo in a
// messages file cannot produce a reply that is not XML at all.
bool usableName(const std::string& n) {
  if (n.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!alpha(n[0])) return false;
  for (char c : n)
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  return true;
}

std::string expandBreaks(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size() && v[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += v[i];
    }
  }
  return out;
}

}  // namespace

std::string xmlEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      // A character reference keeps the CR of a CR LF line break: XML parsers
      // turn a literal CR LF into a single LF.
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string buildReply(const std::string& contents, std::string* warnings) {
  size_t first = 0;
  while (first < contents.size() && isBlank(contents[first])) ++first;
  if (first == contents.size()) return "";
  if (contents[first] == '<') return contents;

  using Message = std::vector<std::pair<std::string, std::string>>;
  std::vector<Message> messages;
  Message current;
  std::istringstream in(contents);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (trim(line).empty()) {
      if (!current.empty()) messages.push_back(std::move(current));
      current.clear();
      continue;
    }
    if (line[0] == '#') continue;
    size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? "" : trim(line.substr(0, eq));
    if (!usableName(name)) {
      if (warnings) *warnings += "line " + std::to_string(lineNo) + ": not field=value, skipped\n";
      continue;
    }
    current.emplace_back(name, expandBreaks(line.substr(eq + 1)));
  }
  if (!current.empty()) messages.push_back(std::move(current));

  std::string xml = "<dcmgetmsgstatus>";
  for (const auto& m : messages) {
    xml += "<message>";
    for (const auto& [name, value] : m) xml += "<" + name + ">" + xmlEscape(value) + "</" + name + ">";
    xml += "</message>";
  }
  xml += "</dcmgetmsgstatus>";
  return xml;
}

}  // namespace sim
