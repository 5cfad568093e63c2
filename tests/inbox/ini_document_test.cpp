#include "inbox/ini_document.h"

#include <gtest/gtest.h>

#include <random>

namespace nfy::ini {
namespace {

std::string read(const Document& doc, std::string_view section, std::string_view key) {
  std::string v;
  doc.value(section, key, v);
  return v;
}

std::string text(Document& doc) {
  std::string out;
  doc.serializeTo(out);
  return out;
}

// A file in the shapes other programs leave behind, read the way the
// system's profile functions read it.
TEST(IniDocument, ReadsLikeTheProfileFunctions) {
  Document doc = Document::parse(
      "pre=top\r\n"
      "  [ Sp Sec ]  \r\n"
      "  key one  =  val one  \r\n"
      "k2=\"quoted\"\r\nk3=\"half\r\nk4='single'\r\nk5=\" spaced \"\r\nq1=\"\r\nq2=\"\"\r\nq3=\"a\" \r\n"
      "k6=a=b=c\r\n;comment=x\r\nnoequals\r\n=emptykey\r\nk7=\r\n"
      "k8\t=\tv8\v\x1a\r\n"
      "k2=second\r\n"
      "[Sp Sec]\r\nk1=dup section\r\n"
      "\r\n\n"
      "[a]b] ignored\r\nz=1\r\n[unterminated\r\nu=2\r\n"
      "\v[V]\nv=lf only\rw=cr only\n"
      "[]\r\ne=3");
  EXPECT_EQ(read(doc, "", "pre"), "top");
  EXPECT_EQ(read(doc, "Sp Sec", "key one"), "val one");
  EXPECT_EQ(read(doc, " sp sec ", "  KEY ONE "), "val one");
  EXPECT_EQ(read(doc, "Sp Sec", "k2"), "quoted");  // the first of two keys
  EXPECT_EQ(read(doc, "Sp Sec", "k3"), "\"half");
  EXPECT_EQ(read(doc, "Sp Sec", "k4"), "single");
  EXPECT_EQ(read(doc, "Sp Sec", "k5"), " spaced ");
  EXPECT_EQ(read(doc, "Sp Sec", "q1"), "\"");
  EXPECT_EQ(read(doc, "Sp Sec", "q2"), "");
  EXPECT_EQ(read(doc, "Sp Sec", "q3"), "a");
  EXPECT_EQ(read(doc, "Sp Sec", "k6"), "a=b=c");
  EXPECT_EQ(read(doc, "Sp Sec", ";comment"), "x");
  EXPECT_EQ(read(doc, "Sp Sec", "noequals"), "");
  EXPECT_EQ(read(doc, "Sp Sec", ""), "emptykey");
  EXPECT_EQ(read(doc, "Sp Sec", "k8"), "v8");
  EXPECT_EQ(read(doc, "Sp Sec", "k1"), "");  // only the first section of a name counts
  EXPECT_EQ(read(doc, "a]b", "z"), "1");
  EXPECT_EQ(read(doc, "a]b", "u"), "2");
  EXPECT_EQ(read(doc, "V", "v"), "lf only");
  EXPECT_EQ(read(doc, "v", "W"), "cr only");
  EXPECT_EQ(read(doc, "", "e"), "");  // "[]" is a second nameless section, never found
  EXPECT_EQ(read(doc, "missing", "k"), "");
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"Sp Sec", "Sp Sec", "a]b", "V"}));
}

TEST(IniDocument, WritesLikeTheProfileFunctions) {
  Document doc = Document::parse("\r\n[A]\r\n  k = old \r\n\r\nnote\n[B]\nx=1\n[a]\nk=2\n");
  EXPECT_EQ(doc.set("a", "K", "old"), Document::Edit::Unchanged);
  EXPECT_EQ(doc.set(" a ", "K", "  new"), Document::Edit::Changed);  // first [A], spelling "k" kept
  EXPECT_EQ(doc.set("A", "added", "v"), Document::Edit::Changed);
  EXPECT_EQ(doc.set("C", "c", "\"q\""), Document::Edit::Changed);
  EXPECT_EQ(doc.set("", "top", "t"), Document::Edit::Changed);
  EXPECT_EQ(text(doc), "top=t\r\n[A]\r\nk=new\r\nnote\r\nadded=v\r\n[B]\r\nx=1\r\n[a]\r\nk=2\r\n[C]\r\nc=\"q\"\r\n");
  EXPECT_EQ(read(doc, "c", "C"), "q");

  // Trailing blanks of a value reach the file as written, and are gone the
  // next time the file is written, as they are from every read.
  doc.set("B", "x", "1 \t");
  EXPECT_EQ(read(doc, "B", "x"), "1");
  EXPECT_NE(text(doc).find("x=1 \t\r\n"), std::string::npos);
  EXPECT_EQ(doc.set("B", "x", "1"), Document::Edit::Unchanged);
  doc.set("B", "y", "2");
  EXPECT_NE(text(doc).find("x=1\r\ny=2\r\n"), std::string::npos);

  // A key without "=" gets a value.
  doc.set("A", "NOTE", "n");
  EXPECT_NE(text(doc).find("note=n\r\n"), std::string::npos);
}

TEST(IniDocument, RemovesOnlyTheFirstSectionOfAName) {
  Document doc = Document::parse("top=1\r\n[A]\r\nk=1\r\n[B]\r\nb=1\r\n[a]\r\nk=2\r\n");
  EXPECT_TRUE(doc.removeSection("a"));
  EXPECT_EQ(text(doc), "top=1\r\n[B]\r\nb=1\r\n[a]\r\nk=2\r\n");
  EXPECT_FALSE(doc.removeSection("zz"));
  EXPECT_TRUE(doc.removeSection(""));
  EXPECT_TRUE(doc.removeSection("B"));
  EXPECT_TRUE(doc.removeSection("A"));
  EXPECT_EQ(text(doc), "");
  doc.set("n", "k", "v");  // the nameless section is still first
  EXPECT_EQ(text(doc), "[n]\r\nk=v\r\n");
}

TEST(IniDocument, KeepsAByteOrderMarkAndRepairsBrokenUtf8) {
  Document doc = Document::parse("\xEF\xBB\xBF[B]\r\nk=1\r\nbad=\xe9\x80=\xff\xc3\xa9\r\n");
  EXPECT_EQ(doc.encoding(), Document::Encoding::Utf8);
  EXPECT_EQ(read(doc, "b", "k"), "1");
  doc.set("B", "k", "2");
  EXPECT_EQ(text(doc), "\xEF\xBB\xBF[B]\r\nk=2\r\nbad=\xEF\xBF\xBD=\xEF\xBF\xBD\xc3\xa9\r\n");
  EXPECT_EQ(Document::parse("\xFF\xFE[\0B\0]\0").encoding(), Document::Encoding::Unsupported);
}

TEST(IniDocument, DropsANamelessKeyThatFollowsAnother) {
  Document doc = Document::parse("=top\r\n=top2\r\n[S]\r\n=a\r\n\r\n  =b\r\n;c\r\n=d\r\n==\r\n");
  EXPECT_EQ(read(doc, "", ""), "top");
  EXPECT_EQ(text(doc), "=top\r\n[S]\r\n=a\r\n;c\r\n=d\r\n");
}

// Whatever is written, the file read back is the document that was written:
// the store keeps the document in memory instead of reading its own writes.
TEST(IniDocument, ReadsBackWhatItWrites) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> pieces = {"a", "B", " ", "\t", "=", "\"", "'", ";", "[", "x y", "Id", "0", "é"};
  auto word = [&](bool allowEmpty) {
    std::string s;
    int n = static_cast<int>(rng() % 4) + (allowEmpty ? 0 : 1);
    for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
    return s;
  };
  Document doc;
  for (int step = 0; step < 1500; ++step) {
    std::string section = word(false);
    std::string key = word(true);
    if (section.find(']') != std::string::npos || trimBlanks(key).starts_with("[")) continue;
    if (rng() % 10 == 0) {
      doc.removeSection(section);
    } else {
      doc.set(section, key, word(true));
    }
    if (!doc.roundTrips()) {
      // A key holding "=" reads back differently, as from the system's
      // functions; the store parses such a file again after writing it.
      doc = Document::parse(text(doc));
      continue;
    }
    std::string written = text(doc);
    Document again = Document::parse(written);
    ASSERT_EQ(again.sectionNames(), doc.sectionNames()) << written;
    ASSERT_EQ(again.sections().size(), doc.sections().size());
    for (size_t i = 0; i < doc.sections().size(); ++i) {
      const Keys a = doc.sections()[i].keys();
      const Keys b = again.sections()[i].keys();
      ASSERT_EQ(a.size(), b.size()) << written;
      for (size_t k = 0; k < a.size(); ++k) {
        ASSERT_EQ(a[k].name(), b[k].name()) << written;
        ASSERT_EQ(a[k].value(), b[k].value()) << written;
        ASSERT_EQ(a[k].hasValue(), b[k].hasValue()) << written;
      }
    }
  }
}

// A large inbox edited at length: keys added to sections in the middle,
// values rewritten until the buffer holds more old pieces than live ones,
// sections removed and added. The document holds what was set, in order,
// and writes it so, whenever it is written.
TEST(IniDocument, KeepsWhatWasSetThroughLongRunsOfEdits) {
  std::mt19937 rng(77);
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> model;
  std::string text;
  for (int s = 0; s < 600; ++s) {
    auto& section = model.emplace_back("s" + std::to_string(s), std::vector<std::pair<std::string, std::string>>{});
    text += "[" + section.first + "]\r\n";
    for (int k = 0; k < 4; ++k) {
      section.second.emplace_back("k" + std::to_string(k), std::to_string(s * 10 + k));
      text += section.second.back().first + "=" + section.second.back().second + "\r\n";
    }
  }
  // One section's lines not in written form, so that it is built.
  text += "[odd]\r\n  a = 1 \r\n\r\nb\r\n";
  model.emplace_back("odd", std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", ""}});
  Document doc = Document::parse(text);
  auto expected = [&] {
    std::string out;
    for (const auto& [name, keys] : model) {
      out += "[" + name + "]\r\n";
      for (const auto& [key, value] : keys) out += key + (name == "odd" && key == "b" ? "" : "=" + value) + "\r\n";
    }
    return out;
  };
  int fresh = 0;
  for (int step = 0; step < 12000; ++step) {
    const size_t which = rng() % model.size();
    auto& [name, keys] = model[which];
    const unsigned what = rng() % 20;
    if (what == 0 && name != "odd") {
      ASSERT_TRUE(doc.removeSection(name));
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(which));
    } else if (what == 1) {
      const std::string added = "new" + std::to_string(fresh++);
      doc.set(added, "k", "v");
      model.emplace_back(added, std::vector<std::pair<std::string, std::string>>{{"k", "v"}});
    } else if (what < 6 && name != "odd") {
      const std::string key = "x" + std::to_string(fresh++);
      doc.set(name, key, key);
      keys.emplace_back(key, key);
    } else if (name != "odd") {
      auto& [key, value] = keys[rng() % keys.size()];
      value = std::string(rng() % 300, static_cast<char>('a' + rng() % 26));
      doc.set(name, key, value);
    }
    if (step % 1500 == 0 || step == 11999) {
      std::string written;
      doc.serializeTo(written);
      ASSERT_EQ(written, expected()) << "step " << step;
      for (const auto& [section, sectionKeys] : model) {
        if (section == "odd") continue;
        for (const auto& [key, value] : sectionKeys) ASSERT_EQ(read(doc, section, key), value) << section << " " << key;
      }
    }
  }
  // The nameless section and sections as the index finds them.
  std::vector<std::string> firsts;
  Document dup = Document::parse("top=1\r\n[A]\r\n[b]\r\n[a]\r\n[B]\r\n[c]\r\n");
  dup.forEachFirstOfName([&](const Section& s) { firsts.emplace_back(s.name()); });
  EXPECT_EQ(firsts, (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_EQ(dup.sections().size(), 6u);
  EXPECT_EQ(dup.sections()[0].keys()[0].name(), "top");
  EXPECT_EQ(*dup.storedName(" B "), "b");
}

}  // namespace
}  // namespace nfy::ini
