// The INI store against the system's own private-profile functions: the same
// random operations on two files, one through each, with every result and
// the files themselves compared after each step.
//
// NFY_INI_SEED picks another sequence, NFY_INI_ROUNDS makes the run longer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "inbox/ini_file.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

unsigned long envNumber(const char* name, unsigned long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

std::string show(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\n";
    } else if (c < 32 || c > 126) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

class Differential : public ::testing::Test {
 protected:
  void SetUp() override { ini::forgetCachedFiles(); }

  // Fresh file names each round: the system keeps recently used files in
  // memory and would not notice a rewrite within the same clock tick.
  void newRound(int round) {
    mine = std::filesystem::absolute(box.path("engine" + std::to_string(round) + ".ini")).string();
    theirs = std::filesystem::absolute(box.path("system" + std::to_string(round) + ".ini")).string();
  }

  std::string pick(const std::vector<std::string>& pool) { return pool[rng() % pool.size()]; }

  // Names and values in mixed case, with blanks, quotes, "=" signs, empty
  // values and characters beyond ASCII.
  std::string sectionName() {
    static const std::vector<std::string> pool = {
        "MsgCount", "msgcount", "MSGCOUNT",  "101",       "102",
        " 101 ",    "Sec A",    "sec a",     "\tSec A",   "x=y",
        "\"q\"",    ";c",       "\xc9t\xe9", "\xe9t\xe9", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
        "a b  c",   "[x"};
    return pick(pool);
  }
  std::string keyName() {
    static const std::vector<std::string> pool = {"TotalMsgs",
                                                  "totalmsgs",
                                                  "UNREADMsgs",
                                                  "UnReadMsgs",
                                                  "Subject",
                                                  " Subject ",
                                                  "k",
                                                  "K",
                                                  "",
                                                  "  ",
                                                  "a=b",
                                                  "'q'",
                                                  ";note",
                                                  "x y",
                                                  "\xe9",
                                                  "\xc9",
                                                  "Download_InformedAgentTime"};
    return pick(pool);
  }
  std::string valueText() {
    static const std::vector<std::string> parts = {"0",  "7", "UnRead",   "READ", " ",   "  ",
                                                   "\t", "=", "\"",       "'",    "a=b", "07/15/2017 13:05:09",
                                                   ";",  "x", "\xe9\x80", "[s]",  "\x1a"};
    std::string v;
    int n = static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) v += pick(parts);
    return v;
  }

  std::string engineRead(const std::string& file, const std::string& s, const std::string& k) {
    return ini::readValue(file, s, k);
  }
  std::string systemRead(const std::string& file, const std::string& s, const std::string& k) {
    std::string buf(8192, '\0');
    DWORD n =
        GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buf.data(), static_cast<DWORD>(buf.size()), file.c_str());
    buf.resize(n);
    return buf;
  }
  std::vector<std::string> systemSections(const std::string& file) {
    std::string buf(1 << 16, '\0');
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), file.c_str());
    std::vector<std::string> names;
    for (size_t pos = 0; pos < n;) {
      size_t end = buf.find('\0', pos);
      names.push_back(buf.substr(pos, end - pos));
      pos = end + 1;
    }
    return names;
  }

  // One random step through both; false once they disagree.
  bool step(std::string& what) {
    unsigned op = rng() % 100;
    std::string s = sectionName(), k = keyName();
    if (op < 55) {
      std::string v = valueText();
      what = "write [" + s + "] " + k + "=" + v;
      bool a = ini::writeValue(mine, s, k, v) == ini::Outcome::Ok;
      bool b = WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), theirs.c_str()) != 0;
      if (a != b) return (what += ": outcome differs"), false;
    } else if (op < 85) {
      what = "read [" + s + "] " + k;
      std::string a = engineRead(mine, s, k), b = systemRead(theirs, s, k);
      if (a != b) return (what += ": engine '" + show(a) + "', system '" + show(b) + "'"), false;
    } else if (op < 92) {
      what = "delete [" + s + "]";
      bool a = ini::deleteSection(mine, s) == ini::Outcome::Ok;
      bool b = WritePrivateProfileSectionA(s.c_str(), nullptr, theirs.c_str()) != 0;
      if (a != b) return (what += ": outcome differs"), false;
    } else {
      what = "list sections";
      if (ini::sectionNames(mine) != systemSections(theirs)) return (what += ": lists differ"), false;
    }
    std::string fa = test::readFile(mine), fb = test::readFile(theirs);
    if (fa != fb) return (what += ": files differ\nengine:\n" + show(fa) + "\nsystem:\n" + show(fb)), false;
    return true;
  }

  // Each file read through the other side: what one wrote, the other reads.
  void crossCheck() {
    std::vector<std::string> sections = ini::sectionNames(theirs);
    sections.push_back("");
    for (const std::string& s : sections) {
      for (const char* k : {"TotalMsgs", "Subject", "k", "a", "", "x y", ";note"}) {
        ASSERT_EQ(engineRead(theirs, s, k), systemRead(theirs, s, k)) << "[" << s << "] " << k;
        ASSERT_EQ(engineRead(mine, s, k), systemRead(mine, s, k)) << "[" << s << "] " << k;
      }
    }
  }

  // A file as other programs or people may leave it: duplicate sections and
  // keys, comments, lines without "=", blank lines, stray blanks, quotes,
  // LF or CR line ends and a missing last line end.
  std::string foreignFile() {
    static const std::vector<std::string> eols = {"\r\n", "\r\n", "\n", "\r"};
    std::string text = rng() % 8 == 0 ? "\xEF\xBB\xBF" : "";
    int lines = static_cast<int>(rng() % 14);
    for (int i = 0; i < lines; ++i) {
      switch (rng() % 12) {
        case 0: text += ""; break;
        case 1: text += pick({" ", "\t", "\x1a", "  \t "}); break;
        case 2: text += "[" + pick({"101", "Sec A", "sec a", "MsgCount"}) + "]"; break;
        case 3: text += pick({"  [ 101 ]  ", "[Sec A] junk", "[a]b]", "[]", "[unterminated", "\t[102]"}); break;
        case 4: text += pick({";comment", "# hash", "noequals", "=v", "==", "[k=v"}); break;
        case 5: text += "  " + pick({"k", "K", "Subject"}) + "  =  " + valueText() + "  "; break;
        default: text += pick({"k", "K", "Subject", "TotalMsgs", "a"}) + "=" + valueText(); break;
      }
      if (i + 1 < lines || rng() % 2) text += pick(eols);
    }
    return text;
  }

  test::Sandbox box;
  std::mt19937 rng{static_cast<std::mt19937::result_type>(envNumber("NFY_INI_SEED", 1234567))};
  std::string mine, theirs;
};

TEST_F(Differential, RandomOperationsFromAnEmptyFile) {
  const unsigned long rounds = envNumber("NFY_INI_ROUNDS", 3);
  for (unsigned long round = 0; round < rounds; ++round) {
    newRound(static_cast<int>(round));
    std::string what;
    for (int i = 0; i < 400; ++i) {
      ASSERT_TRUE(step(what)) << "round " << round << ", step " << i << ": " << what;
    }
    crossCheck();
  }
}

TEST_F(Differential, RandomOperationsOnForeignFiles) {
  const unsigned long rounds = envNumber("NFY_INI_ROUNDS", 3) * 40;
  for (unsigned long round = 0; round < rounds; ++round) {
    newRound(static_cast<int>(round));
    std::string start = foreignFile();
    box.write(std::filesystem::path(mine).filename().string(), start);
    box.write(std::filesystem::path(theirs).filename().string(), start);
    std::string what;
    for (int i = 0; i < 12; ++i) {
      ASSERT_TRUE(step(what)) << "round " << round << ", step " << i << ": " << what << "\nfrom:\n" << show(start);
    }
    crossCheck();
  }
}

}  // namespace
}  // namespace nfy
