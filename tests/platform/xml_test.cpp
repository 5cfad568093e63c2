#include "platform/xml.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/sandbox.h"

namespace nfy::platform::xml {
namespace {

// name[child count]{text}(children...) for a node and everything below it.
std::string dump(const Node& n) {
  std::string s = n.name() + "[" + std::to_string(n.childCount()) + "]{" + n.text() + "}";
  if (n.childCount() > 0) {
    s += "(";
    for (long i = 0; i < n.childCount(); ++i) s += dump(*n.child(i)) + ",";
    s += ")";
  }
  return s;
}

std::string dumpOf(const std::string& xml, const std::string& element = "r") {
  auto doc = createDocument();
  if (!doc->loadString(xml)) return "refused";
  auto node = doc->selectFirst(element);
  return node ? dump(*node) : "none";
}

// The tree the message and template readers see: white space only text is no
// child node, comments, CDATA and processing instructions are, and an
// element's text joins its descendants' texts the way the Windows DOM does.
TEST(XmlTree, ChildNodesAndTextMatchTheWindowsDom) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<r><a>\n  <b>y</b>\n  <!-- c -->\n  <c>z</c>\n</a></r>",
       "r[1]{y z}(a[3]{y z}(b[1]{y}(#text[0]{y},),#comment[0]{c},c[1]{z}(#text[0]{z},),),)"},
      {"<r><a> x <b> y </b> z </a></r>",
       "r[1]{x  y  z}(a[3]{x  y  z}(#text[0]{x},b[1]{y}(#text[0]{y},),#text[0]{z},),)"},
      {"<r><a>x<b/> </a><c> </c><d/></r>", "r[3]{x}(a[2]{x}(#text[0]{x},b[0]{},),c[0]{},d[0]{},)"},
      {"<r><a>x<!--c-->y</a></r>", "r[1]{xy}(a[3]{xy}(#text[0]{x},#comment[0]{c},#text[0]{y},),)"},
      {"<r><a>x  </a>  <b>  y</b></r>", "r[2]{x     y}(a[1]{x}(#text[0]{x},),b[1]{y}(#text[0]{y},),)"},
      {"<r><a>x</a><q><c> </c><b>y</b></q></r>",
       "r[2]{xy}(a[1]{x}(#text[0]{x},),q[2]{y}(c[0]{},b[1]{y}(#text[0]{y},),),)"},
      {"<r><a>x</a><q>z<c> </c><b>y</b></q></r>",
       "r[2]{xz y}(a[1]{x}(#text[0]{x},),q[3]{z y}(#text[0]{z},c[0]{},b[1]{y}(#text[0]{y},),),)"},
      {"<r><a>x</a><![CDATA[  ]]><b>y</b></r>",
       "r[3]{x  y}(a[1]{x}(#text[0]{x},),#cdata-section[0]{},b[1]{y}(#text[0]{y},),)"},
      {"<r><![CDATA[<inboxtitle>x</inboxtitle>]]></r>",
       "r[1]{<inboxtitle>x</inboxtitle>}(#cdata-section[0]{<inboxtitle>x</inboxtitle>},)"},
      {"<r><p:a xmlns:p='urn:p'>x</p:a><?pi data?></r>", "r[2]{x}(p:a[1]{x}(#text[0]{x},),pi[0]{data},)"},
      {"<r><a b='&amp;'>&lt;&gt;&quot;&apos;&#65;&#x42;</a></r>", "r[1]{<>\"'AB}(a[1]{<>\"'AB}(#text[0]{<>\"'AB},),)"},
      {"<r><a>one\r\ntwo\t</a></r>", "r[1]{one\ntwo}(a[1]{one\ntwo}(#text[0]{one\ntwo},),)"},
      {"<r><a> pre &amp; mid&#65;post&gt; </a></r>",
       "r[1]{pre & midApost>}(a[1]{pre & midApost>}(#text[0]{pre & midApost>},),)"},
      {"<r><a><![CDATA[ x&amp; ]]></a></r>", "r[1]{x&amp;}(a[1]{x&amp;}(#cdata-section[0]{x&amp;},),)"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- before --><r xmlns='urn:x'><InboxTitle>T</InboxTitle></r>",
       "r[1]{T}(InboxTitle[1]{T}(#text[0]{T},),)"},
  };
  for (const auto& [xml, expected] : cases) EXPECT_EQ(dumpOf(xml), expected) << xml;
}

TEST(XmlLoad, RefusesWhatIsNotWellFormed) {
  for (const char* bad :
       {"", "   ", "<?xml version=\"1.0\"?>", "not xml", "<r><a>x</a>", "<r><a>x</a></R>", "<r/><s/>", "text<r/>",
        "<r/>text", "<r a='1' a='2'/>", "<r><a>&nbsp;</a></r>", "<r><a>a & b</a></r>", "<r><a b='&bad;'/></r>",
        "<r><a>&#0;</a></r>", "<r><a>&#xD800;</a></r>", "<r><a>\x01</a></r>", "<r><!DOCTYPE r></r>"}) {
    auto doc = createDocument();
    EXPECT_FALSE(doc->loadString(bad)) << bad;
    EXPECT_EQ(doc->selectFirst("r"), nullptr) << bad;
  }
}

TEST(XmlLoad, AFailedLoadLeavesNoDocumentBehind) {
  auto doc = createDocument();
  ASSERT_TRUE(doc->loadString("<r><a>old</a></r>"));
  EXPECT_FALSE(doc->loadString("<r><a>new</a>"));
  EXPECT_EQ(doc->selectFirst("a"), nullptr);
  ASSERT_TRUE(doc->loadString("<r><a>new</a></r>"));
  EXPECT_EQ(doc->selectFirst("a")->text(), "new");
}

// Nothing in a document may make the parser read another file, go to the
// network or expand entities: every document with a DOCTYPE is refused.
TEST(XmlLoad, RefusesEveryDoctype) {
  test::Sandbox box;
  box.write("secret.txt", "TOPSECRET");
  std::string secretUrl = "file:///" + box.path("secret.txt");
  std::string bomb = "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
  for (int i = 1; i <= 9; ++i) {
    std::string prev = "&" + std::string(1, static_cast<char>('a' + i - 1)) + ";";
    bomb += "<!ENTITY " + std::string(1, static_cast<char>('a' + i)) + " \"";
    for (int k = 0; k < 10; ++k) bomb += prev;
    bomb += "\">";
  }
  bomb += "]><r><t>&j;</t></r>";
  const std::vector<std::string> docs = {
      "<!DOCTYPE r><r><t>x</t></r>",
      "<!DOCTYPE r SYSTEM \"" + secretUrl + "\"><r><t>x</t></r>",
      "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + secretUrl + "\">]><r><t>&s;</t></r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"http://127.0.0.1:9/x.dtd\"> %p;]><r><t>x</t></r>",
      bomb,
      "<?xml version=\"1.0\"?>\n<!-- note -->\n<?pi x?>\n<!DOCTYPE r><r><t>x</t></r>",
      "<!doctype r><r><t>x</t></r>",
  };
  for (const auto& xml : docs) {
    auto doc = createDocument();
    EXPECT_FALSE(doc->loadString(xml)) << xml;
    EXPECT_EQ(doc->selectFirst("t"), nullptr);
    box.write("doc.xml", xml);
    EXPECT_FALSE(doc->loadFile(box.path("doc.xml"))) << xml;
    EXPECT_EQ(doc->selectFirst("t"), nullptr);
  }
  // The same in UTF-16, where the markup is not plain bytes.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<!DOCTYPE r [<!ENTITY s SYSTEM \"" + secretUrl + "\">]><r><t>&s;</t></r>")) {
    utf16 += c;
    utf16 += '\0';
  }
  box.write("doc16.xml", utf16);
  EXPECT_FALSE(createDocument()->loadFile(box.path("doc16.xml")));
}

TEST(XmlLoad, ReadsFilesInTheUnicodeEncodings) {
  test::Sandbox box;
  const std::string body = "<r>\r\n  <!-- c -->\r\n  <t>Inbox</t>\r\n</r>";
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
  for (char c : body) {
    utf16le += c, utf16le += '\0';
    utf16be += '\0', utf16be += c;
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {"plain.xml", body},
      {"bom.xml", "\xEF\xBB\xBF" + body},
      {"decl.xml", "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n" + body},
      {"le.xml", utf16le},
      {"be.xml", utf16be},
  };
  for (const auto& [name, bytes] : files) {
    box.write(name, bytes);
    auto doc = createDocument();
    ASSERT_TRUE(doc->loadFile(box.path(name))) << name;
    auto r = doc->selectFirst("r");
    ASSERT_NE(r, nullptr) << name;
    EXPECT_EQ(dump(*r), "r[2]{Inbox}(#comment[0]{c},t[1]{Inbox}(#text[0]{Inbox},),)") << name;
  }
}

TEST(XmlLoad, MissingOrUnreadableFilesAreNotLoaded) {
  test::Sandbox box;
  box.mkdirs("folder.xml");
  auto doc = createDocument();
  EXPECT_FALSE(doc->loadFile(box.path("absent.xml")));
  EXPECT_FALSE(doc->loadFile(box.path("folder.xml")));
  EXPECT_FALSE(doc->loadFile(box.path("no-such-folder/absent.xml")));
  box.write("empty.xml", "");
  EXPECT_FALSE(doc->loadFile(box.path("empty.xml")));
}

TEST(XmlSelect, FindsTheFirstElementOfANameAnywhere) {
  auto doc = createDocument();
  ASSERT_TRUE(doc->loadString(
      "<dcmgetmsgstatus><m><id>1</id></m><x><dcmgetmsgstatus><id>2</id></dcmgetmsgstatus></x></dcmgetmsgstatus>"));
  // The document element itself is the first in document order.
  auto top = doc->selectFirst("dcmgetmsgstatus");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->childCount(), 2);
  EXPECT_EQ(doc->selectFirst("id")->text(), "1");

  ASSERT_TRUE(
      doc->loadString("<reply><a><b><dcmgetmsgstatus><m/></dcmgetmsgstatus></b></a>"
                      "<dcmgetmsgstatus/></reply>"));
  auto nested = doc->selectFirst("dcmgetmsgstatus");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(nested->childCount(), 1);
  EXPECT_EQ(nested->child(0)->name(), "m");

  // Names match exactly: no other letter case, no prefix.
  ASSERT_TRUE(doc->loadString("<r><DcmGetMsgStatus/><p:dcmgetmsgstatus xmlns:p='urn:p'/></r>"));
  EXPECT_EQ(doc->selectFirst("dcmgetmsgstatus"), nullptr);
  EXPECT_NE(doc->selectFirst("DcmGetMsgStatus"), nullptr);
}

TEST(XmlNode, ChildrenCanBeVisitedInAnyOrder) {
  auto doc = createDocument();
  ASSERT_TRUE(doc->loadString("<r><a>0</a> <!--1--> <b>2</b>3<c>4</c></r>"));
  auto r = doc->selectFirst("r");
  ASSERT_EQ(r->childCount(), 5);
  EXPECT_EQ(r->child(4)->text(), "4");
  EXPECT_EQ(r->child(1)->text(), "1");
  EXPECT_EQ(r->child(2)->text(), "2");
  EXPECT_EQ(r->child(3)->name(), "#text");
  EXPECT_EQ(r->child(0)->name(), "a");
  EXPECT_EQ(r->child(5), nullptr);
  EXPECT_EQ(r->child(-1), nullptr);
}

TEST(XmlNode, LargeAndDeepDocumentsDoNotExhaustTheStack) {
  std::string many = "<r>";
  for (int i = 0; i < 40000; ++i) many += "<c/>";
  many += "</r>";
  auto doc = createDocument();
  ASSERT_TRUE(doc->loadString(many));
  EXPECT_EQ(doc->selectFirst("r")->childCount(), 40000);
}

std::string nested(long depth, const std::string& inner = "x") {
  std::string s;
  for (long i = 0; i < depth; ++i) s += "<r>";
  s += inner;
  for (long i = 0; i < depth; ++i) s += "</r>";
  return s;
}

// Nesting is bounded: deeper documents are refused, from a string or a file,
// however deep (a hostile reply of 8 MB nests some 590,000 levels).
TEST(XmlLoad, RefusesDocumentsNestedDeeperThanTheLimit) {
  test::Sandbox box;
  auto doc = createDocument();
  ASSERT_TRUE(doc->loadString(nested(kMaxElementDepth)));
  EXPECT_EQ(doc->selectFirst("r")->text(), "x");
  EXPECT_FALSE(doc->loadString(nested(kMaxElementDepth + 1)));
  EXPECT_EQ(doc->selectFirst("r"), nullptr);
  EXPECT_FALSE(doc->loadString(nested(kMaxElementDepth, "<a/>")));
  EXPECT_FALSE(doc->loadString("<r>" + nested(200000, "") + "</r>"));
  box.write("deep.xml", nested(kMaxElementDepth + 1));
  EXPECT_FALSE(doc->loadFile(box.path("deep.xml")));
  box.write("deep.xml", nested(kMaxElementDepth));
  EXPECT_TRUE(doc->loadFile(box.path("deep.xml")));

  // Text at every level of the deepest document comes out in order, with the
  // blanks between texts of one element.
  std::string open, close, expected;
  for (long i = 0; i < kMaxElementDepth; ++i) {
    open += "<r>" + std::to_string(i) + (i + 1 < kMaxElementDepth ? "<b/> " : "");
    close = "</r>" + close;
    expected += (i ? " " : "") + std::to_string(i);
  }
  ASSERT_TRUE(doc->loadString(open + close));
  EXPECT_EQ(doc->selectFirst("r")->text(), expected);
}

// A NUL character, and bytes that are no UTF-8 in a document without another
// encoding, make the document malformed, as the Windows parser finds it.
TEST(XmlLoad, RefusesNulAndBytesThatAreNoUtf8) {
  test::Sandbox box;
  using namespace std::string_literals;
  for (const std::string& bad :
       {"<r>a\0b</r>"s, "<r/>\0"s, "<r>\xC3</r>"s, "<r>\xFF</r>"s, "<r>\xC0\xAF</r>"s, "<r>\xED\xA0\x80</r>"s,
        "<r>\xF4\x90\x80\x80</r>"s, "<?xml version='1.0' encoding='UTF-8'?><r>\xE9</r>"s,
        // past a long run of ASCII, at and across an 8-byte step
        "<r>0123456789abcdef\xC3</r>"s,
        "<r>0123456789abcd\xFF"
        "0123456789</r>"s,
        "<r>0123456789abcdef\0</r>"s}) {
    box.write("bad.xml", bad);
    EXPECT_FALSE(createDocument()->loadFile(box.path("bad.xml"))) << bad;
  }
  EXPECT_FALSE(createDocument()->loadString("<r>a\0b</r>"s));
  std::string utf16 = "\xFF\xFE";
  for (char c : "<r>a\0b</r>"s) utf16 += c, utf16 += '\0';
  box.write("nul16.xml", utf16);
  EXPECT_FALSE(createDocument()->loadFile(box.path("nul16.xml")));

  for (const std::string& good :
       {"<r>\xE2\x82\xAC \xC3\xA9 \xF0\x9F\x98\x80</r>"s, "<r>0123456789abc\xC3\xA9 0123456789abcdef\xE2\x82\xAC</r>"s,
        "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9\x80</r>"s}) {
    box.write("good.xml", good);
    EXPECT_TRUE(createDocument()->loadFile(box.path("good.xml"))) << good;
  }
}

}  // namespace
}  // namespace nfy::platform::xml
