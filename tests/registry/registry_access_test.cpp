// clsRegistryAccess against the registry itself: the Linux store in the
// sandbox, or the real registry under Wine.
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/error_text.h"
#include "support/sandbox.h"
#include "support/scratch_registry.h"

namespace nfy {
namespace {

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class RegistryAccess : public ::testing::Test {
 protected:
  std::string key(const std::string& relative = "") const {
    return relative.empty() ? scratch.base() : scratch.base() + "\\" + relative;
  }
  // The scratch key's path with the long root name in lower case.
  std::string longLower(const std::string& relative = "") const {
    return "hkey_current_user" + key(relative).substr(4);
  }

  const std::string notFound = fncFormatMessage(2);
  test::Sandbox box;
  test::ScratchRegistry scratch{box};
  test::CapturedLog log{box};
  clsRegistryAccess r;
};

TEST_F(RegistryAccess, CreateTestAndListKeys) {
  std::string err = "stale";
  EXPECT_NE(r.CreateKey(longLower("a\\b"), &err), 0);
  EXPECT_EQ(err, "");
  // The log shows the path as given, then its short form.
  EXPECT_TRUE(hasLine(log.lines(), "MSG : Creating the resgistry key " + longLower("a\\b")));
  EXPECT_TRUE(hasLine(log.lines(), "MSG : Successfully created the key " + key("a\\b")));
  EXPECT_TRUE(r.KeyExists(key("A\\B")));
  EXPECT_FALSE(r.KeyExists(key("a\\c")));
  EXPECT_NE(r.CreateKey(key("a\\b"), &err), 0);  // opens an existing key
  r.CreateKey(key("a\\c"));

  std::vector<std::string> names{"old"};
  EXPECT_EQ(r.EnumKeys(key("a"), names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(r.EnumKeys(key("a\\b"), names), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(r.EnumKeys(key("missing"), names), -1);
  EXPECT_TRUE(hasLine(log.lines(), "ERR : key does not exists"));
  EXPECT_TRUE(r.HaveSubkey(key("a")));
  EXPECT_FALSE(r.HaveSubkey(key("a\\b")));
  EXPECT_FALSE(r.HaveSubkey(key("missing")));

  // A long subkey name is read whole.
  std::string longName(180, 'n');
  ASSERT_NE(r.CreateKey(key("a\\" + longName)), 0);
  EXPECT_EQ(r.EnumKeys(key("a"), names), 3);
  EXPECT_EQ(names[2], longName);
}

TEST_F(RegistryAccess, TheSixtyFourBitMembersSeeTheSameKeysAsTheirTwins) {
  ASSERT_NE(r.CreateKey64Bit(key("v")), 0);
  size_t before = log.lines().size();
  EXPECT_EQ(r.CreateKey64Bit(key("v")), 0);  // exists: 0 and only the first line
  EXPECT_EQ(log.lines().size(), before + 1);
  EXPECT_EQ(log.lines().back(), "MSG : Creating the resgistry key " + key("v"));
  EXPECT_TRUE(r.KeyExists(key("v")));

  EXPECT_NE(r.WriteDWORD64Bit(key("v\\w"), "n", -7), 0);  // creates the missing key
  EXPECT_EQ(r.ReadDWORD(key("v\\w"), "n"), -7);
  EXPECT_NE(r.WriteBinary64bit(key("v\\w"), "b", "0102"), 0);
  EXPECT_EQ(r.ReadBinary(key("v\\w"), "b"), "01 02");
  std::vector<std::string> names;
  EXPECT_EQ(r.EnumKeys64Bit(key("v"), names), 1);
  EXPECT_TRUE(r.HaveSubkey64Bit(key("v")));
  std::string err;
  EXPECT_NE(r.KillValue64bit(key("v\\w"), "b", &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(hasLine(log.lines(), "ERR : Successfully deleted the value."));
  EXPECT_FALSE(r.ValueExists(key("v\\w"), "b"));

  EXPECT_EQ(r.KillKey64bit(key("v"), "y", &err), 0);
  EXPECT_NE(err.find("has subkeys assoicated"), std::string::npos);
  EXPECT_NE(r.KillKey64bit(key("v"), "Y", &err), 0);
  EXPECT_FALSE(r.KeyExists(key("v")));
  EXPECT_EQ(r.KillSubKey64Bit(key("v"), &err), 1);
}

TEST_F(RegistryAccess, KillKeyDeletesTreesOnlyWhenAskedAndNeverTheSystemKeys) {
  r.CreateKey(key("t\\x\\y"));
  r.CreateKey(key("t\\z"));
  r.WriteDWORD(key("t\\x\\y"), "n", 1);
  std::string err;
  EXPECT_EQ(r.KillKey(key("t"), "y", &err), 0);
  EXPECT_EQ(err, key("t") +
                     " key cannot be deleted as it has subkeys assoicated with it, and the script has not opted to "
                     "delete the subkeys.");
  EXPECT_TRUE(r.KeyExists(key("t\\x\\y")));
  EXPECT_NE(r.KillKey(key("t"), "Y", &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_FALSE(r.KeyExists(key("t")));

  for (const char* p : {" hkey_local_machine\\software ", "HKLM\\SAM", "HKLM\\SOFTWARE\\Microsoft"}) {
    EXPECT_EQ(r.KillKey(p, "Y", &err), 0) << p;
    EXPECT_EQ(err, std::string(p) + " cannot be deleted, as deleting it might cause the OS to repair or re-install. ");
    EXPECT_TRUE(hasLine(log.lines(), "ERR : " + err));
  }

  // A missing key: 1, no error text, the status in the log.
  EXPECT_EQ(r.KillSubKey(key("gone"), &err), 1);
  EXPECT_EQ(err, "");
  EXPECT_EQ(log.lines().back(), "ERR : Error while opening the sub key " + key("gone") + ", " + notFound);
}

TEST_F(RegistryAccess, EachValueTypeIsWrittenReadAndDeleted) {
  std::string err = "stale";
  std::string text = "C:\\Program Files\\\"quoted\" " + std::string(350, 'x');
  EXPECT_NE(r.WriteString(key("v"), "s", text, &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(r.ReadString(key("v"), "s", &err), text);  // longer than 255: read whole
  EXPECT_EQ(r.ReadString(key("v"), "S"), text);        // names ignore case
  EXPECT_NE(r.WriteString(key("v"), "empty", ""), 0);
  EXPECT_EQ(r.ReadString(key("v"), "empty", &err), "");
  EXPECT_EQ(err, "");

  EXPECT_NE(r.WriteDWORD(key("v"), "d", -2147483647 - 1), 0);
  EXPECT_EQ(r.ReadDWORD(key("v"), "d"), -2147483647 - 1);
  EXPECT_TRUE(hasLine(log.lines(), "MSG : WriteDWORD, path:" + key("v") + ", Name:d, value:-2147483648"));

  EXPECT_NE(r.WriteBinary(key("v"), "b", "41 42"), 0);
  EXPECT_EQ(r.ReadBinary(key("v"), "b"), "41 42");
  EXPECT_NE(r.WriteBinary(key("v"), "z", "00 00 01 00"), 0);
  EXPECT_EQ(r.ReadBinary(key("v"), "z"), "00 00 01 00");
  EXPECT_NE(r.WriteBinary(key("v"), "none", ""), 0);
  EXPECT_TRUE(r.ValueExists(key("v"), "none"));
  EXPECT_EQ(r.ReadBinary(key("v"), "none"), "");

  EXPECT_NE(r.KillValue(key("v"), "d", &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_FALSE(r.ValueExists(key("v"), "d"));
  EXPECT_EQ(r.ReadDWORD(key("v"), "d"), 0);
  EXPECT_NE(r.KillValue(key("v"), "d", &err), 0);  // the key opened: its handle, and the error text
  EXPECT_EQ(err, "Error while deleteing the value d for registry key " + key("v") + ", " + notFound);
  EXPECT_EQ(r.KillValue(key("nokey"), "d", &err), 0);
  EXPECT_FALSE(r.ValueExists(key("nokey"), "d"));
}

TEST_F(RegistryAccess, ReadersAndWritersOnMissingValuesAndKeys) {
  r.CreateKey(key("k"));
  std::string err;
  size_t before = log.lines().size();
  EXPECT_EQ(r.ReadString(key("k"), "nothing", &err), "");
  EXPECT_EQ(err, notFound);
  ASSERT_EQ(log.lines().size(), before + 2);
  EXPECT_EQ(log.lines().back(), "ERR : " + err);

  r.CreateKeyIfDoesntExists(false);
  before = log.lines().size();
  err = "stale";
  EXPECT_EQ(r.WriteDWORD(key("k\\new"), "d", 5, &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(log.lines().size(), before + 1);
  EXPECT_EQ(r.WriteBinary(key("k\\new"), "b", "01", &err), 0);
  EXPECT_EQ(r.WriteString(key("k\\new"), "s", "x", &err), 0);
  EXPECT_FALSE(r.KeyExists(key("k\\new")));
  std::vector<std::string> names;
  EXPECT_EQ(r.EnumKeys(key("k"), names), 0);
}

TEST_F(RegistryAccess, EnumValuesListsEveryTypeOrOnlyOne) {
  r.WriteString(key("e"), "s", "text");
  r.WriteDWORD(key("e"), "d", 10);
  r.WriteBinary(key("e"), "b", "ff00");
  r.WriteBinary(key("e"), "empty", "");
  r.WriteString(key("e"), " padded ", "p");
  std::vector<std::string> names{"old"};
  std::vector<RegistryValue> values;
  ASSERT_EQ(r.EnumValues(key("e"), names, values), 5);
  std::map<std::string, RegistryValue> byName;
  for (size_t i = 0; i < names.size(); ++i) byName[names[i]] = values[i];
  EXPECT_EQ(byName["s"], RegistryValue(std::string("text")));
  EXPECT_EQ(byName["d"], RegistryValue(int32_t{10}));
  EXPECT_EQ(byName["b"], RegistryValue(std::string("FF 00")));
  EXPECT_EQ(byName["empty"], RegistryValue(std::string()));
  EXPECT_EQ(byName[" padded "], RegistryValue(std::string("p")));  // the name keeps its blanks
  EXPECT_EQ(r.EnumValues(key("e"), names, values, 4), 1);
  EXPECT_EQ(names, std::vector<std::string>{"d"});
  EXPECT_EQ(r.EnumValues(key("e"), names, values, 3), 2);
  EXPECT_EQ(r.EnumValues(key("missing"), names, values), -1);
  EXPECT_EQ(names.size(), 2u);  // a failed call leaves the arrays alone
}

TEST_F(RegistryAccess, EnumKeysSoftwareListsTheDisplayNames) {
  const std::string list = key("Uninstall");
  r.WriteString(list + "\\{1111}", "DisplayName", "Veltor Agent");
  r.WriteString(list + "\\{2222}", "DisplayName", "   ");
  r.WriteString(list + "\\{3333}", "Publisher", "nobody");
  r.WriteString(list + "\\{4444}", "DisplayName", " Zeta Tool");
  std::vector<std::string> names;
  EXPECT_EQ(r.EnumKeysSoftware(list, names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"Veltor Agent", " Zeta Tool"}));
  EXPECT_EQ(r.EnumKeysSoftware(key("missing"), names), -1);
}

TEST_F(RegistryAccess, ExportWritesARegistrationFileAndNeverOverwritesOne) {
  r.WriteString(key("x"), "", "default \"value\"");
  r.WriteString(key("x"), "path", "C:\\dir\\");
  r.WriteDWORD(key("x"), "ten", 10);
  r.WriteBinary(key("x"), "bin", "41 00 42");
  r.WriteString(key("x\\sub"), "lines", "one\r\ntwo");
  r.CreateKey(key("x\\sub\\deeper"));
  const std::string file = box.path("out.reg");
  std::vector<std::string> shown;
  RegistryExportOutput output = [&](const std::string& text) { shown.push_back(text); };
  ASSERT_EQ(r.ExportToReg(key("x"), file, true, &output), 1);
  const std::string longPath = "HKEY_CURRENT_USER" + key("x").substr(4);
  EXPECT_EQ(test::readFile(file), "REGEDIT4\r\n\r\n[" + longPath +
                                      "]\r\n@=\"default \\\"value\\\"\"\r\n\"path\"=\"C:\\\\dir\\\\\"\r\n"
                                      "\"bin\"=hex:41,00,42\r\n\"ten\"=dword:0000000a\r\n\r\n[" +
                                      longPath +
                                      "\\sub]\r\n@=\"\"\r\n\"lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\r\n\r\n[" +
                                      longPath + "\\sub\\deeper]\r\n@=\"\"\r\n\r\n");
  EXPECT_EQ(shown.size(), 3u);

  box.write("kept.reg", "keep me");
  EXPECT_EQ(r.ExportToReg(key("x"), box.path("kept.reg")), 0);
  EXPECT_EQ(box.read("kept.reg"), "keep me");
  EXPECT_EQ(r.ExportToReg(key("missing"), box.path("missing.reg")), 0);
  EXPECT_EQ(r.ExportToReg(key("x"), box.path("top.reg"), false), 1);
  EXPECT_EQ(box.read("top.reg").find("\\sub]"), std::string::npos);
}

}  // namespace
}  // namespace nfy
