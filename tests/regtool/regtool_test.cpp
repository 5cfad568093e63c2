// nfyDeskReg's command line: usage, bad input, and the import file.
#include "regtool/regtool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "registry/registry_access.h"
#include "regtool/reg_import.h"
#include "support/sandbox.h"
#include "support/scratch_registry.h"

namespace nfy::regtool {
namespace {

class RegTool : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return regtool::run(args, out, err);
  }
  std::string key(const std::string& relative = "") const {
    return relative.empty() ? scratch.base() : scratch.base() + "\\" + relative;
  }

  test::Sandbox box;
  test::ScratchRegistry scratch{box};
  std::ostringstream out, err;
};

TEST_F(RegTool, HelpAndBadUsage) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_NE(out.str().find("nfyDeskReg export PATH FILE [--no-subkeys]"), std::string::npos);
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--64"},
      {"frobnicate", "HKCU\\x"},
      {"--verbose", "key-exists", "HKCU\\x"},
      {"key-exists"},
      {"key-exists", "HKCU\\x", "extra"},
      {"delete-key", "HKCU\\x", "--force"},
      {"list-values", "HKCU\\x", "--type"},
      {"list-values", "HKCU\\x", "--type", "qword"},
      {"write-string", "HKCU\\x", "name"},
      {"import"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(run(args), 2) << ::testing::PrintToString(args);
    EXPECT_NE(err.str().find("usage: nfyDeskReg"), std::string::npos) << ::testing::PrintToString(args);
    EXPECT_EQ(out.str(), "");
  }
}

TEST_F(RegTool, BadInputIsRefusedBeforeTheRegistryIsTouched) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"create-key", "NOWHERE\\x"}, "does not begin with a root key name"},
      {{"create-key", ""}, "does not begin with a root key name"},
      {{"create-key", "HKCU\\"}, "names no key"},
      {{"write-binary", key(), "b", "0x41"}, "is not hex text"},
      {{"write-binary", key(), "b", "  "}, "is not hex text"},
      {{"write-dword", key(), "d", "4294967296"}, "is out of range"},
      {{"write-dword", key(), "d", "-2147483649"}, "is out of range"},
      {{"write-dword", key(), "d", "12abc"}, "is not a number"},
      {{"write-dword", key(), "d", "0x"}, "is not a number"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), 2) << c.args[0];
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
  clsRegistryAccess r;
  EXPECT_FALSE(r.KeyExists(key()));
}

TEST_F(RegTool, VerbsPrintTheirResultsAndExitStatus) {
  EXPECT_EQ(run({"key-exists", key()}), 1);
  EXPECT_EQ(out.str(), "no\n");
  EXPECT_EQ(run({"--no-create", "write-string", key(), "s", "x"}), 1);
  EXPECT_EQ(run({"write-string", key(), "s", "a \"b\" c"}), 0);
  EXPECT_EQ(run({"write-dword", key(), "d", "4294967295"}), 0);
  EXPECT_EQ(run({"--64", "write-dword", key(), "h", "0x10"}), 0);
  EXPECT_EQ(run({"write-binary", key(), "b", "00 ff"}), 0);
  EXPECT_EQ(run({"read-dword", key(), "d"}), 0);
  EXPECT_EQ(out.str(), "-1\n");
  EXPECT_EQ(run({"read-binary", key(), "b"}), 0);
  EXPECT_EQ(out.str(), "00 FF\n");
  EXPECT_EQ(run({"read-dword", key(), "nothing"}), 1);
  EXPECT_EQ(run({"list-values", key(), "--type", "dword"}), 0);
  EXPECT_EQ(out.str(), "d=-1\nh=16\n");
  EXPECT_EQ(run({"create-key", key("sub")}), 0);
  EXPECT_EQ(run({"--64", "create-key", key("sub")}), 0);  // an existing key is no failure
  EXPECT_EQ(run({"list-keys", key()}), 0);
  EXPECT_EQ(out.str(), "sub\n");
  EXPECT_EQ(run({"delete-key", key()}), 1);
  EXPECT_NE(err.str().find("has subkeys"), std::string::npos);
  EXPECT_EQ(run({"delete-value", key(), "s"}), 0);
  EXPECT_EQ(run({"value-exists", key(), "s"}), 1);
  EXPECT_EQ(run({"delete-key", key(), "--recursive"}), 0);
  EXPECT_EQ(run({"list-keys", key()}), 1);
}

TEST_F(RegTool, DeleteGuardsJudgeTheKeyThePathAddresses) {
  ASSERT_EQ(run({"create-key", key("a\\b")}), 0);
  const std::string systemKey = " cannot be deleted, as deleting it might cause the OS to repair or re-install.";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"delete-key", "HKCU", "--recursive"}, "HKEY_CURRENT_USER is a root key"},
      {{"delete-key", "HKEY_CLASSES_ROOT", "--recursive"}, "HKEY_CLASSES_ROOT is a root key"},
      {{"delete-key", "hkus", "--recursive"}, "HKEY_USERS is a root key"},
      {{"--64", "delete-key", "hkcc", "--recursive"}, "HKEY_CURRENT_CONFIG is a root key"},
      {{"delete-key", "HKCU\\\\Software\\", "--recursive"},
       "HKEY_CURRENT_USER\\Software lies directly under a root key"},
      {{"delete-key", "HKLM \\SOFTWARE", "--recursive"}, "HKEY_LOCAL_MACHINE\\SOFTWARE lies directly under a root key"},
      {{"delete-key", "HKLM\\SYSTEM\\CurrentControlSet", "--recursive"},
       "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet lies directly under a system key"},
      // Without --recursive the class's own guard decides.
      {{"delete-key", "HKLMx\\SYSTEM"}, "HKLMx\\SYSTEM" + systemKey},
      {{"--64", "delete-key", "hklm_\\SAM"}, "hklm_\\SAM" + systemKey},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), 1) << c.args[1];
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
  clsRegistryAccess r;
  for (const char* p : {"HKLM \\SOFTWARE", "HKLMx\\SYSTEM", "hklm_\\SAM"}) {
    std::string e;
    EXPECT_EQ(r.KillKey(p, "Y", &e), 0) << p;
    EXPECT_EQ(e, p + systemKey + " ");
    EXPECT_EQ(r.KillKey64bit(p, "Y", &e), 0) << p;
    EXPECT_EQ(e, p + systemKey + " ");
  }
  EXPECT_TRUE(r.KeyExists(key("a\\b")));
  EXPECT_EQ(run({"delete-key", key("a"), "--recursive"}), 0) << err.str();
  EXPECT_FALSE(r.KeyExists(key("a")));
}

TEST_F(RegTool, ImportWritesEveryEntryOrNothing) {
  box.write("bad.reg", "REGEDIT4\r\n\r\n[" + key() + "]\r\n\"a\"=\"one\"\r\n\"b\"=dword:123456789\r\n");
  EXPECT_EQ(run({"import", box.path("bad.reg")}), 1);
  EXPECT_NE(err.str().find(": line 5: a dword needs one to eight hex digits; nothing was imported"), std::string::npos)
      << err.str();
  clsRegistryAccess r;
  EXPECT_FALSE(r.KeyExists(key()));
  // Lines the registry or the tool refuses are found before anything is
  // written.
  const std::string longName(300, 'k');
  for (const auto& [refused, message] : std::vector<std::pair<std::string, std::string>>{
           {"[" + key(longName) + "]", "line 5: a key name that the registry refuses"},
           {"[-HKCU\\Software]", "line 5: HKEY_CURRENT_USER\\Software lies directly under a root key"},
           {"[-HKLM \\SOFTWARE\\Microsoft]", "line 5: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft is a system key"},
           {"[HKEY_DYN_DATA\\X]", "line 5: HKEY_DYN_DATA is a root key that cannot be written"},
           {"[HKPD\\X]\r\n\"v\"=\"1\"", "line 5: HKEY_PERFORMANCE_DATA is a root key that cannot be written"}}) {
    box.write("refused.reg", "REGEDIT4\r\n\r\n[" + key() + "]\r\n\"a\"=\"one\"\r\n" + refused + "\r\n");
    EXPECT_EQ(run({"import", box.path("refused.reg")}), 1) << refused;
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("; nothing was imported"), std::string::npos) << err.str();
    EXPECT_FALSE(r.KeyExists(key())) << refused;
  }
  EXPECT_EQ(run({"import", box.path("absent.reg")}), 1);
  EXPECT_NE(err.str().find("cannot be read"), std::string::npos);

  box.write("good.reg", "REGEDIT4\n\n[" + key("a") +
                            "]\n@=\"dflt\"\n\"s\"=\"x\\\\y\\\"z\"\n\"d\"=dword:0000000a\n"
                            "\"b\"=hex:01,\\\n  02\n\"t\"=hex(1):41,42,00\n\n[" +
                            key("gone") + "]\n\n[-" + key("gone") + "]\n");
  EXPECT_EQ(run({"import", box.path("good.reg")}), 0) << err.str();
  EXPECT_EQ(r.ReadString(key("a"), ""), "dflt");
  EXPECT_EQ(r.ReadString(key("a"), "s"), "x\\y\"z");
  EXPECT_EQ(r.ReadDWORD(key("a"), "d"), 10);
  EXPECT_EQ(r.ReadBinary(key("a"), "b"), "01 02");
  EXPECT_EQ(r.ReadString(key("a"), "t"), "AB");
  EXPECT_FALSE(r.KeyExists(key("gone")));
}

TEST(ImportParser, MalformedFilesNameTheLine) {
  const std::pair<std::string, int> cases[] = {
      {"", 1},
      {"REGEDIT5\n", 1},
      {"REGEDIT4\n\"a\"=\"b\"\n", 2},
      {"REGEDIT4\n[HKCU\\x\n", 2},
      {"REGEDIT4\n[NOPE\\x]\n", 2},
      {"REGEDIT4\n[HKCU\\x]\n\"a=\"b\"\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=\"b\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=\"b\\q\"\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex:1,zz\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex:01,\\\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex(2):41,00\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=hex(4):01\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\" \"b\"\n", 3},
      {"REGEDIT4\n[HKCU\\x]\n\"a\"=qword:1\n", 3},
      {"REGEDIT4\n[-HKCU\\x]\n\"a\"=\"b\"\n", 3},
  };
  for (const auto& [text, line] : cases) {
    ImportFile f = parseImportFile(text);
    EXPECT_FALSE(f.ok) << text;
    EXPECT_EQ(f.errorLine, line) << text << ": " << f.error;
    EXPECT_FALSE(f.error.empty());
  }
}

TEST(ImportParser, ReadsTheUnicodeFilesThatRegistryEditorsWrite) {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\x]\r\n\"s\"=\"a\\\\b\"\r\n"
      "\"w\"=hex(1):41,00,42,00,00,00\r\n\"d\"=dword:ffffffff\r\n";
  std::string utf16 = "\xff\xfe";
  for (char c : text) utf16 += std::string{c, '\0'};
  ImportFile f = parseImportFile(utf16);
  ASSERT_TRUE(f.ok) << f.error;
  ASSERT_EQ(f.entries.size(), 4u);
  EXPECT_EQ(f.entries[0].path, "HKEY_CURRENT_USER\\Software\\x");
  EXPECT_EQ(f.entries[1].data, "a\\b");
  EXPECT_EQ(f.entries[2].data, "AB");
  EXPECT_EQ(f.entries[3].number, 0xffffffffu);
  EXPECT_EQ(f.entries[3].line, 6);
  // An odd byte count or a lone surrogate does not break the reader.
  EXPECT_FALSE(parseImportFile("\xff\xfe\x00\xd8R\0").ok);
}

}  // namespace
}  // namespace nfy::regtool
