// A small XML DOM: load from a file or a string, select the first element of
// a name anywhere ("//name"), walk child nodes (elements, text and comment
// nodes alike), read node names and text. Windows: MSXML DOMDocument through
// COM. Linux: pugixml.
//
// Loading never resolves DTDs or external entities and never reads another
// file or the network; a document with a DOCTYPE is refused, and so is one
// whose elements nest deeper than kMaxElementDepth (the document element is
// at depth 1), or that holds a NUL character or, in UTF-8, bytes that are no
// UTF-8.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace nfy::platform::xml {

// Far beyond any real document; bounds the work that nesting can cause.
constexpr long kMaxElementDepth = 256;

class Node {
 public:
  virtual ~Node() = default;
  // Element name; "#text", "#comment", "#cdata-section" for other nodes.
  virtual std::string name() const = 0;
  // Concatenated text of the node and its descendants, with leading and
  // trailing white space removed (as MSXML's text property gives it).
  virtual std::string text() const = 0;
  virtual long childCount() const = 0;
  // Child by index, 0-based; nullptr when out of range.
  virtual std::unique_ptr<Node> child(long index) const = 0;
  // Calls `visit` with the name and the text of each child in order, as
  // child(j)->name() and ->text() give them, until it returns false.
  virtual void eachChild(const std::function<bool(const std::string& name, std::string text)>& visit) const {
    for (long j = 0;; ++j) {
      const std::unique_ptr<Node> c = child(j);
      if (!c || !visit(c->name(), c->text())) return;
    }
  }
};

class Document {
 public:
  virtual ~Document() = default;
  // False when the file cannot be read or is not well-formed XML.
  virtual bool loadFile(const std::string& path) = 0;
  virtual bool loadString(const std::string& text) = 0;
  // The same for a text the caller gives away: the document may parse it
  // where it lies instead of in a copy (a large reply is not held twice).
  virtual bool loadOwnedString(std::string&& text) { return loadString(text); }
  // The first element named `name` in document order, the document element
  // included ("//name"); nullptr when there is none.
  virtual std::unique_ptr<Node> selectFirst(const std::string& name) const = 0;
};

// Creates a document. Raises run-time error 429 when the DOM is unavailable.
std::unique_ptr<Document> createDocument();

}  // namespace nfy::platform::xml
