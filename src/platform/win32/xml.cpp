// The XML DOM on the system's MSXML DOMDocument (the version-independent
// class of MSXML 3.0), created through COM.
//
// Loading is synchronous and never resolves anything outside the document:
// a DOCTYPE in the prolog, a NUL character and nesting deeper than the limit
// are refused before the parser sees the text, DTDs
// are prohibited and external resolution and validation are off. A file is
// read into memory here and handed to the parser as bytes, so the parser is
// never given a path or a URL to open.
#include "platform/xml.h"

#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "base/errors.h"
#include "platform/xml_text.h"

namespace nfy::platform::xml {
namespace {

// {F6D90F11-9C73-11D3-B32E-00C04F990BB4}: DOMDocument of MSXML 3.0.
const CLSID kClsidDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
// {2933BF95-7B36-11D2-B20E-00C04F983E60}: IXMLDOMDocument2.
const IID kIidDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// COM is started once for the process, on first use of the DOM. Another part
// of the program may have started it already, in either apartment model;
// both answers leave COM usable.
void ensureCom() {
  static const bool started = [] {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
  }();
  (void)started;
}

template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {
    if (!b_) raiseError(err::kOutOfMemory);
  }
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

// A failed DOM call is a run-time error of the calling procedure.
void check(HRESULT hr) {
  if (FAILED(hr)) throw RuntimeError(static_cast<long>(hr), "Automation error");
}

// The program's texts are in the system's ANSI code page.
std::wstring widen(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string narrow(BSTR b) {
  if (!b) return {};
  int len = static_cast<int>(SysStringLen(b));
  if (len == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, b, len, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, b, len, s.data(), n, nullptr, nullptr);
  return s;
}

bool isUtf16(std::string_view bytes, bool& littleEndian) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  littleEndian = bytes.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == '<' && at(1) == 0));
  bool be = bytes.size() >= 2 && ((at(0) == 0xFE && at(1) == 0xFF) || (at(0) == 0 && at(1) == '<'));
  return littleEndian || be;
}

// The markup characters of a document as single bytes, whatever its
// encoding (UTF-8, a single-byte code page or UTF-16 of either byte order);
// characters outside ASCII become 'x'. At most `limit` characters.
std::string asciiView(std::string_view bytes, size_t limit) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::string out;
  bool le = false;
  if (isUtf16(bytes, le)) {
    for (size_t i = 0; i + 1 < bytes.size() && out.size() < limit; i += 2) {
      unsigned lo = le ? at(i) : at(i + 1), hi = le ? at(i + 1) : at(i);
      out += (hi == 0 && lo < 0x80) ? static_cast<char>(lo) : 'x';
    }
    if (!out.empty() && (out[0] == 'x')) out.erase(0, 1);  // the byte-order mark
    return out;
  }
  size_t start = (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) ? 3 : 0;
  std::string_view rest = bytes.substr(start, limit);
  for (char c : rest) out += (static_cast<unsigned char>(c) < 0x80) ? c : 'x';
  return out;
}

// True when the document's bytes hold a NUL character (a zero code unit in
// UTF-16). Not every parser refuses one after the document element.
bool holdsNul(std::string_view bytes) {
  bool le = false;
  if (!isUtf16(bytes, le)) return bytes.find('\0') != std::string_view::npos;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == 0 && bytes[i + 1] == 0) return true;
  }
  return false;
}

// Whether elements nest deeper than the limit, found from the markup alone
// before the parser sees it: start tags open, end tags close, empty-element
// tags, comments, CDATA sections, processing instructions and declarations
// do neither. Exact for a well-formed document (where every "<" begins
// markup and a ">" inside a tag can only stand in a quoted value); what it
// says of a malformed one does not matter, as the parser refuses that.
bool nestsTooDeep(std::string_view s) {
  long depth = 0;
  auto skipPast = [&](size_t from, std::string_view end) {
    size_t at = s.find(end, from);
    return at == std::string_view::npos ? s.size() : at + end.size();
  };
  for (size_t i = s.find('<'); i < s.size(); i = s.find('<', i)) {
    std::string_view rest = s.substr(i);
    if (rest.starts_with("<!--")) {
      i = skipPast(i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skipPast(i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = skipPast(i + 2, "?>");
    } else if (rest.starts_with("<!")) {
      i += 2;
    } else if (rest.starts_with("</")) {
      --depth;
      i = skipPast(i + 2, ">");
    } else {
      size_t j = i + 1;
      char quote = 0;
      for (; j < s.size(); ++j) {
        char c = s[j];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (j >= s.size()) return false;
      if (depth + 1 > kMaxElementDepth) return true;  // an empty-element tag is nested too
      if (s[j - 1] != '/') ++depth;
      i = j + 1;
    }
  }
  return false;
}

// False when the prolog holds a DOCTYPE (or anything else beginning with
// "<!" that is not a comment), or a declaration or comment left open. A
// DOCTYPE anywhere after the prolog is malformed and the parser refuses it.
bool prologIsSafe(std::string_view bytes) {
  std::string s = asciiView(bytes, 1 << 16);
  size_t pos = 0;
  while (pos < s.size()) {
    if (isXmlSpace(s[pos])) {
      ++pos;
    } else if (s.compare(pos, 2, "<?") == 0) {
      size_t end = s.find("?>", pos + 2);
      if (end == std::string::npos) return false;
      pos = end + 2;
    } else if (s.compare(pos, 4, "<!--") == 0) {
      size_t end = s.find("-->", pos + 4);
      if (end == std::string::npos) return false;
      pos = end + 3;
    } else if (s.compare(pos, 2, "<!") == 0) {
      return false;
    } else {
      return true;
    }
  }
  return true;
}

class DomNode : public Node {
 public:
  explicit DomNode(Ref<IXMLDOMNode> node) : node_(std::move(node)) {}

  std::string name() const override {
    Bstr b;
    check(node_->get_nodeName(b.out()));
    return narrow(b.get());
  }

  std::string text() const override {
    Bstr b;
    check(node_->get_text(b.out()));
    return trimXmlSpace(narrow(b.get()));
  }

  long childCount() const override {
    long n = 0;
    check(list()->get_length(&n));
    return n;
  }

  std::unique_ptr<Node> child(long index) const override {
    if (index < 0) return nullptr;
    Ref<IXMLDOMNode> next;
    // Children are walked in order almost always: step from the last one
    // rather than asking the list for each index.
    if (cursor_ && index == cursorIndex_ + 1) {
      check(cursor_->get_nextSibling(next.out()));
    } else {
      check(list()->get_item(index, next.out()));
    }
    if (!next) return nullptr;
    next->AddRef();
    cursor_ = Ref<IXMLDOMNode>(next.get());
    cursorIndex_ = index;
    return std::make_unique<DomNode>(std::move(next));
  }

 private:
  IXMLDOMNodeList* list() const {
    if (!list_) check(node_->get_childNodes(list_.out()));
    if (!list_) throw RuntimeError(err::kObjectRequired, errorDescription(err::kObjectRequired));
    return list_.get();
  }

  Ref<IXMLDOMNode> node_;
  mutable Ref<IXMLDOMNodeList> list_;
  mutable Ref<IXMLDOMNode> cursor_;
  mutable long cursorIndex_ = -1;
};

class DomDocument : public Document {
 public:
  explicit DomDocument(Ref<IXMLDOMDocument2> doc) : doc_(std::move(doc)) {}

  bool loadFile(const std::string& path) override {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return false;
    std::string data = bytes.str();
    if (!prologIsSafe(data) || holdsNul(data) || nestsTooDeep(asciiView(data, data.size()))) return refuse();

    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
    if (!array) raiseError(err::kOutOfMemory);
    void* raw = nullptr;
    if (FAILED(SafeArrayAccessData(array, &raw))) {
      SafeArrayDestroy(array);
      raiseError(err::kOutOfMemory);
    }
    if (!data.empty()) std::memcpy(raw, data.data(), data.size());
    SafeArrayUnaccessData(array);

    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = array;
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc_->load(source, &ok);
    VariantClear(&source);
    return SUCCEEDED(hr) && ok == VARIANT_TRUE;
  }

  bool loadString(const std::string& text) override {
    if (!prologIsSafe(text) || holdsNul(text) || nestsTooDeep(text)) return refuse();
    Bstr b(widen(text));
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc_->loadXML(b.get(), &ok);
    return SUCCEEDED(hr) && ok == VARIANT_TRUE;
  }

  std::unique_ptr<Node> selectFirst(const std::string& name) const override {
    Ref<IXMLDOMElement> root;
    check(doc_->get_documentElement(root.out()));
    if (!root) return nullptr;
    Bstr query(L"//" + widen(name));
    Ref<IXMLDOMNode> found;
    check(root->selectSingleNode(query.get(), found.out()));
    if (!found) return nullptr;
    return std::make_unique<DomNode>(std::move(found));
  }

 private:
  // Leaves the document empty, as a failed load does.
  bool refuse() {
    Bstr empty(L"");
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc_->loadXML(empty.get(), &ok);
    return false;
  }

  Ref<IXMLDOMDocument2> doc_;
};

void setBoolProperty(IXMLDOMDocument2* doc, const wchar_t* name, bool value) {
  Bstr n(name);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  doc->setProperty(n.get(), v);  // older parsers lack some properties
}

}  // namespace

std::unique_ptr<Document> createDocument() {
  ensureCom();
  Ref<IXMLDOMDocument2> doc;
  HRESULT hr = CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument2,
                                reinterpret_cast<void**>(doc.out()));
  if (FAILED(hr) || !doc) raiseError(err::kCannotCreateObject);
  check(doc->put_async(VARIANT_FALSE));
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  setBoolProperty(doc.get(), L"ProhibitDTD", true);
  return std::make_unique<DomDocument>(std::move(doc));
}

}  // namespace nfy::platform::xml
