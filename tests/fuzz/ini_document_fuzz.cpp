// The INI document: any bytes parse; what is written reads back the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "inbox/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  nfy::ini::Document doc = nfy::ini::Document::parse(bytes);
  std::string value;
  for (const std::string& name : doc.sectionNames()) doc.value(name, "key", value);

  // A document that takes the bytes as its buffer is the same document, and
  // an ANSI one gives the bytes back as its parsed text.
  nfy::ini::Document adopted = nfy::ini::Document::adopt(std::string(bytes));
  std::string first;
  doc.serializeTo(first);
  std::string fromAdopted;
  adopted.serializeTo(fromAdopted);
  if (fromAdopted != first) std::abort();
  if (doc.parsedText() != adopted.parsedText()) std::abort();

  // A section's keys are parsed when it is first looked into: looked into
  // last to first, each gives what the whole document gives, and the views
  // taken first stay good while the later ones parse (the sanitizers tell).
  nfy::ini::Document lazy = nfy::ini::Document::adopt(std::string(bytes));
  std::vector<nfy::ini::Section> views;
  for (size_t i = lazy.sections().size(); i-- > 0;) views.push_back(lazy.sections()[i]);
  const nfy::ini::Sections all = adopted.sections();
  if (views.size() != all.size()) std::abort();
  for (size_t i = 0; i < views.size(); ++i) {
    const nfy::ini::Section a = views[views.size() - 1 - i], b = all[i];
    if (a.name() != b.name() || a.keys().size() != b.keys().size()) std::abort();
    for (size_t k = 0; k < a.keys().size(); ++k) {
      if (a.keys()[k].name() != b.keys()[k].name() || a.keys()[k].value() != b.keys()[k].value() ||
          a.keys()[k].hasValue() != b.keys()[k].hasValue())
        std::abort();
    }
  }
  // Written from its parsed keys, it is what a document written from the
  // lines it had not parsed is.
  std::string fromKeys;
  lazy.serializeTo(fromKeys);
  if (fromKeys != first) std::abort();
  if (doc.encoding() == nfy::ini::Document::Encoding::Ansi && doc.parsedText() != bytes) std::abort();
  if (doc.encoding() == nfy::ini::Document::Encoding::Unsupported || !doc.roundTrips()) return 0;
  // A single-byte file whose first key begins with the bytes of a byte order
  // mark reads as another encoding once written: the system's profile
  // functions read such a file so too, so it is left as it is here.
  if (doc.encoding() == nfy::ini::Document::Encoding::Ansi &&
      (first.starts_with("\xFF\xFE") || first.starts_with("\xFE\xFF") || first.starts_with("\xEF\xBB\xBF")))
    return 0;
  // The written text is the document's own form: reading and writing it
  // again changes nothing.
  nfy::ini::Document again = nfy::ini::Document::parse(first);
  std::string second;
  again.serializeTo(second);
  if (second != first) std::abort();

  // An edit keeps the file readable and holds what was set (names of plain
  // ASCII taken from the input: a UTF-8 file mends bytes that are no UTF-8).
  auto plainName = [&](size_t from) {
    std::string name;
    for (char c : bytes.substr(std::min(from, size), 8))
      if (c >= 0x20 && c < 0x7F) name += c;
    return std::string(nfy::ini::trimBlanks(name));
  };
  std::string section = plainName(0), key = "k" + plainName(8);
  if (section.find(']') == std::string::npos && key.find('=') == std::string::npos && !section.empty()) {
    again.set(section, key, "v");
    std::string third;
    again.serializeTo(third);
    if (!nfy::ini::Document::parse(third).value(section, key, value) || value != "v") std::abort();
  }
  return 0;
}
