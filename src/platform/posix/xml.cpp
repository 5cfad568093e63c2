// The XML DOM on pugixml, shaped to answer like the Windows DOM does: white
// space only text between elements is dropped, comments and processing
// instructions are child nodes, and a document that the Windows parser would
// refuse (a DOCTYPE, an unknown entity, a bare "&", two root elements, a
// duplicate attribute, a control character) is refused here as well.
#include "platform/xml.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/utf8.h"
#include "platform/file_read.h"
#include "platform/xml_text.h"

namespace nfy::platform::xml {
namespace {

// White space only text is kept in the tree: it is no child node, but it
// still separates the texts around it with a blank in an element's text.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_eol | pugi::parse_wconv_attribute |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata |
                                   pugi::parse_doctype |  // parsed only so that it can be refused
                                   pugi::parse_fragment;  // keeps text outside the root element, which is then refused

bool isBlankText(pugi::xml_node n) {
  if (n.type() != pugi::node_pcdata) return false;
  for (const char* p = n.value(); *p; ++p) {
    if (!isXmlSpace(*p)) return false;
  }
  return true;
}

// Child nodes as the DOM lists them: white space only text is left out.
pugi::xml_node firstVisible(pugi::xml_node n) {
  while (n && isBlankText(n)) n = n.next_sibling();
  return n;
}

// An element's text: the texts of its descendants in document order, the
// text nodes and CDATA sections as they are. White space only text between
// them counts as one blank, and only between two texts of the same element
// (white space at the start of an element is dropped, at its end it is
// handed on to the parent). The result is trimmed.
//
// Built in one pass into one string, whatever the depth: each open element
// keeps only whether text was met in it and whether white space followed
// that text. The elements that hold text so far are always the outermost
// ones of the walk, so the blank to put before a new text is that of the
// innermost of them. Iterative, so that deep nesting cannot exhaust the
// stack.
std::string elementText(pugi::xml_node element) {
  struct Frame {
    pugi::xml_node next;
    bool blank = false;  // white space seen since the last text
  };
  std::vector<Frame> stack;
  size_t withText = 0;  // stack[0 .. withText) have met text
  std::string out;
  auto append = [&](std::string_view s) {
    if (withText > 0 && stack[withText - 1].blank) out += ' ';
    for (size_t k = withText == 0 ? 0 : withText - 1; k < stack.size(); ++k) stack[k].blank = false;
    withText = stack.size();
    out += s;
  };
  stack.push_back({element.first_child(), false});
  for (;;) {
    Frame& f = stack.back();
    if (!f.next) {
      if (stack.size() == 1) return trimXmlSpace(out);
      bool blank = f.blank;
      stack.pop_back();
      if (withText > stack.size()) withText = stack.size();
      Frame& parent = stack.back();
      if (blank) parent.blank = true;
      parent.next = parent.next.next_sibling();
      continue;
    }
    pugi::xml_node c = f.next;
    if (c.type() == pugi::node_element) {
      stack.push_back({c.first_child(), false});  // f is not used past here
      continue;
    }
    if (isBlankText(c)) {
      f.blank = true;
    } else if ((c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) && *c.value()) {
      append(c.value());
    }
    f.next = c.next_sibling();
  }
}

// Characters below 0x20 other than tab, CR and LF are not allowed in XML.
bool hasForbiddenControl(std::string_view s) {
  for (char c : s) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\t' && c != '\r' && c != '\n') return true;
  }
  return false;
}

bool validCodePoint(std::uint32_t cp) {
  if (cp == 0x9 || cp == 0xA || cp == 0xD) return true;
  if (cp < 0x20) return false;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  if (cp == 0xFFFE || cp == 0xFFFF) return false;
  return cp <= 0x10FFFF;
}

// Resolves the five predefined entities and character references. Anything
// else after "&" (an undeclared entity, a bare ampersand) makes the document
// malformed: false. Nothing is ever looked up, so nothing can expand.
bool decodeReferences(std::string_view raw, std::string& out) {
  out.clear();
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      // The text up to the next reference, at once.
      const size_t amp = std::min(raw.find('&', i), raw.size());
      out.append(raw, i, amp - i);
      i = amp - 1;
      continue;
    }
    size_t semi = raw.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 12) return false;
    std::string_view ref = raw.substr(i + 1, semi - i - 1);
    i = semi;
    if (ref == "amp") {
      out += '&';
    } else if (ref == "lt") {
      out += '<';
    } else if (ref == "gt") {
      out += '>';
    } else if (ref == "quot") {
      out += '"';
    } else if (ref == "apos") {
      out += '\'';
    } else if (ref.size() >= 2 && ref[0] == '#') {
      bool hex = ref[1] == 'x';
      std::string_view digits = ref.substr(hex ? 2 : 1);
      if (digits.empty()) return false;
      std::uint32_t cp = 0;
      for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') {
          d = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
          d = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
          d = c - 'A' + 10;
        } else {
          return false;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        if (cp > 0x10FFFF) return false;
      }
      if (!validCodePoint(cp)) return false;
      appendUtf8(out, cp);
    } else {
      return false;
    }
  }
  return true;
}

// The encoding the document is read in, found as pugixml would find it: a
// byte order mark or the first characters for UTF-16 and UTF-32, else the
// declaration's encoding. `strict` is set for a UTF-8 document (none
// declared, or UTF-8 declared), whose bytes must then be UTF-8.
pugi::xml_encoding detectEncoding(std::string_view b, bool& strict) {
  strict = false;
  auto at = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0x100u; };
  unsigned d0 = at(0), d1 = at(1), d2 = at(2), d3 = at(3);
  if (d0 == 0 && d1 == 0 && d2 == 0xFE && d3 == 0xFF) return pugi::encoding_utf32_be;
  if (d0 == 0xFF && d1 == 0xFE && d2 == 0 && d3 == 0) return pugi::encoding_utf32_le;
  if (d0 == 0xFE && d1 == 0xFF) return pugi::encoding_utf16_be;
  if (d0 == 0xFF && d1 == 0xFE) return pugi::encoding_utf16_le;
  if (d0 == 0 && d1 == 0 && d2 == 0 && d3 == '<') return pugi::encoding_utf32_be;
  if (d0 == '<' && d1 == 0 && d2 == 0 && d3 == 0) return pugi::encoding_utf32_le;
  if (d0 == 0 && d1 == '<') return pugi::encoding_utf16_be;
  if (d0 == '<' && d1 == 0) return pugi::encoding_utf16_le;
  strict = true;
  if (!b.starts_with("<?xml")) return pugi::encoding_utf8;
  std::string_view decl = b.substr(0, b.find("?>"));
  size_t e = decl.find("encoding");
  if (e == std::string_view::npos) return pugi::encoding_utf8;
  size_t q = decl.find_first_of("\"'", e);
  if (q == std::string_view::npos) return pugi::encoding_utf8;
  size_t end = decl.find(decl[q], q + 1);
  std::string name;
  for (char c : decl.substr(q + 1, end == std::string_view::npos ? 0 : end - q - 1))
    name += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (name == "utf-8") return pugi::encoding_utf8;
  strict = false;
  if (name == "iso-8859-1" || name == "latin1") return pugi::encoding_latin1;
  return pugi::encoding_utf8;  // another single-byte encoding: its bytes pass as they are
}

// True when the bytes are UTF-8 of characters that XML allows (control
// characters aside, which the tree walk refuses): no overlong forms, no
// surrogates, nothing above U+10FFFF, no U+FFFE or U+FFFF.
bool validUtf8(std::string_view b) {
  for (size_t i = 0; i < b.size();) {
    // Eight bytes of ASCII at a time: most of a reply is.
    if (i + 8 <= b.size()) {
      std::uint64_t eight;
      std::memcpy(&eight, b.data() + i, 8);
      if ((eight & 0x8080808080808080u) == 0) {
        i += 8;
        continue;
      }
    }
    std::uint32_t cp = static_cast<unsigned char>(b[i]);
    size_t len = cp < 0x80 ? 1 : utf8CharAt(b, i, cp);
    if (len == 0 || cp == 0xFFFE || cp == 0xFFFF) return false;
    i += len;
  }
  return true;
}

// pugixml takes a NUL character for the end of a text and passes bytes that
// are no UTF-8 through as they are; the Windows parser refuses both, and so
// is it here.
bool wellEncoded(std::string_view b, pugi::xml_encoding enc, bool strict) {
  size_t unit = (enc == pugi::encoding_utf16_le || enc == pugi::encoding_utf16_be)   ? 2
                : (enc == pugi::encoding_utf32_le || enc == pugi::encoding_utf32_be) ? 4
                                                                                     : 1;
  if (unit == 1) {
    if (b.find('\0') != std::string_view::npos) return false;
  } else {
    for (size_t i = 0; i + unit <= b.size(); i += unit) {
      if (b.substr(i, unit).find_first_not_of('\0') == std::string_view::npos) return false;
    }
  }
  return !strict || validUtf8(b.starts_with("\xEF\xBB\xBF") ? b.substr(3) : b);
}

// Walks the whole tree once (without recursion, so deep nesting cannot
// exhaust the stack): refuses what a strict parser refuses and resolves the
// references in text, which pugixml was told to leave alone.
bool checkAndResolve(pugi::xml_document& doc) {
  int elements = 0;
  for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling()) {
    switch (top.type()) {
      case pugi::node_element: ++elements; break;
      case pugi::node_comment:
      case pugi::node_pi:
      case pugi::node_declaration: break;
      case pugi::node_pcdata:
        if (isBlankText(top)) break;
        return false;         // text outside the root element
      default: return false;  // a DOCTYPE, or CDATA outside the root element
    }
  }
  if (elements != 1) return false;

  std::string decoded;
  std::vector<std::string_view> names;
  pugi::xml_node node = doc.document_element();
  pugi::xml_node root = node;
  size_t level = 1;  // the elements from the root down to node, node included
  while (node) {
    switch (node.type()) {
      case pugi::node_element: {
        if (level > static_cast<size_t>(kMaxElementDepth)) return false;
        names.clear();
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
          if (hasForbiddenControl(a.value()) || !decodeReferences(a.value(), decoded)) return false;
          a.set_value(decoded.c_str());
          names.push_back(a.name());
        }
        std::sort(names.begin(), names.end());
        if (std::adjacent_find(names.begin(), names.end()) != names.end()) return false;  // duplicate
        break;
      }
      case pugi::node_pcdata: {
        const std::string_view value = node.value();
        if (hasForbiddenControl(value)) return false;
        // Text without a reference stays as it is.
        if (value.find('&') == std::string_view::npos) break;
        if (!decodeReferences(value, decoded)) return false;
        node.set_value(decoded.c_str());
        break;
      }
      case pugi::node_cdata:
      case pugi::node_comment:
      case pugi::node_pi:
        if (hasForbiddenControl(node.value())) return false;
        break;
      default: return false;  // a DOCTYPE or a declaration inside an element
    }
    if (node.first_child()) {
      node = node.first_child();
      ++level;
      continue;
    }
    while (node != root && !node.next_sibling()) {
      node = node.parent();
      --level;
    }
    if (node == root) break;
    node = node.next_sibling();
  }
  return true;
}

// A node's name as the DOM gives it.
std::string nodeName(pugi::xml_node n) {
  switch (n.type()) {
    case pugi::node_element:
    case pugi::node_pi: return n.name();
    case pugi::node_pcdata: return "#text";
    case pugi::node_cdata: return "#cdata-section";
    case pugi::node_comment: return "#comment";
    default: return "#document";
  }
}

std::string nodeText(pugi::xml_node n) {
  if (n.type() == pugi::node_element) {
    // An element of one text (a field of a message) is that text trimmed,
    // as the walk of elementText would make it.
    const pugi::xml_node only = n.first_child();
    if (!only) return std::string();
    if ((only.type() == pugi::node_pcdata || only.type() == pugi::node_cdata) && !only.next_sibling())
      return trimXmlSpace(only.value());
    return elementText(n);
  }
  return trimXmlSpace(n.value());
}

class PugiNode : public Node {
 public:
  explicit PugiNode(pugi::xml_node node) : node_(node) {}

  std::string name() const override { return nodeName(node_); }
  std::string text() const override { return nodeText(node_); }

  void eachChild(const std::function<bool(const std::string& name, std::string text)>& visit) const override {
    for (pugi::xml_node c = firstVisible(node_.first_child()); c; c = firstVisible(c.next_sibling())) {
      if (!visit(nodeName(c), nodeText(c))) return;
    }
  }

  long childCount() const override {
    if (count_ < 0) {
      count_ = 0;
      for (pugi::xml_node c = firstVisible(node_.first_child()); c; c = firstVisible(c.next_sibling())) ++count_;
    }
    return count_;
  }

  std::unique_ptr<Node> child(long index) const override {
    if (index < 0) return nullptr;
    // Children are walked in order almost always: continue from the last one.
    if (!cursor_ || index < cursorIndex_) {
      cursor_ = firstVisible(node_.first_child());
      cursorIndex_ = 0;
    }
    while (cursor_ && cursorIndex_ < index) {
      cursor_ = firstVisible(cursor_.next_sibling());
      ++cursorIndex_;
    }
    if (!cursor_) return nullptr;
    return std::make_unique<PugiNode>(cursor_);
  }

 private:
  pugi::xml_node node_;
  mutable long count_ = -1;
  mutable pugi::xml_node cursor_;
  mutable long cursorIndex_ = 0;
};

class PugiDocument : public Document {
 public:
  bool loadFile(const std::string& path) override {
    // Only a regular file: a FIFO planted at the name must not hang the run.
    std::string bytes;
    if (readFile(path, bytes, {.followLink = true}) != ReadStatus::Ok) return fail();
    return load(bytes);
  }

  bool loadString(const std::string& text) override { return load(text); }

  bool loadOwnedString(std::string&& text) override {
    owned_ = std::move(text);
    return load(owned_, true);
  }

  std::unique_ptr<Node> selectFirst(const std::string& name) const override {
    if (!loaded_) return nullptr;
    pugi::xml_node found =
        doc_.find_node([&](pugi::xml_node n) { return n.type() == pugi::node_element && name == n.name(); });
    if (!found) return nullptr;
    return std::make_unique<PugiNode>(found);
  }

 private:
  bool fail() {
    doc_.reset();
    loaded_ = false;
    return false;
  }

  // `inPlace`: the bytes are `owned_`, which the tree may point into.
  bool load(const std::string& bytes, bool inPlace = false) {
    doc_.reset();
    if (!inPlace) owned_.clear();
    loaded_ = false;
    bool strict = false;
    pugi::xml_encoding enc = detectEncoding(bytes, strict);
    if (!wellEncoded(bytes, enc, strict)) return fail();
    pugi::xml_parse_result r = inPlace ? doc_.load_buffer_inplace(owned_.data(), owned_.size(), kParseOptions, enc)
                                       : doc_.load_buffer(bytes.data(), bytes.size(), kParseOptions, enc);
    if (!r || !checkAndResolve(doc_)) return fail();
    loaded_ = true;
    return true;
  }

  std::string owned_;  // declared first: the tree may point into it
  pugi::xml_document doc_;
  bool loaded_ = false;
};

}  // namespace

std::unique_ptr<Document> createDocument() {
  try {
    return std::make_unique<PugiDocument>();
  } catch (const std::bad_alloc&) {
    raiseError(err::kCannotCreateObject);
  }
}

}  // namespace nfy::platform::xml
