// Hex text, key paths and the protected keys: the parts of the registry
// class that need no registry.
#include <gtest/gtest.h>

#include "registry/key_path.h"
#include "registry/registry_access.h"

namespace nfy {
namespace {

namespace reg = platform::reg;

TEST(HexText, StrToBinTakesHalfTheDigitsRoundedToEven) {
  clsRegistryAccess r;
  std::string three = "414", five = "41424", seven = "4142434", blanks = " 41 4 2 ";
  EXPECT_EQ(r.StrToBin(three), std::string("\x41\x04", 2));  // 1.5 rounds to 2: the last digit alone
  EXPECT_EQ(r.StrToBin(five), "AB");                         // 2.5 rounds to 2: the last digit dropped
  EXPECT_EQ(r.StrToBin(seven), std::string("ABC\x04", 4));   // 3.5 rounds to 4
  EXPECT_EQ(r.StrToBin(blanks), "AB");
  EXPECT_EQ(blanks, "4142");  // the caller's text loses its blanks
  std::string zeros = "00ff00", bad = "4G", empty = "   ";
  EXPECT_EQ(r.StrToBin(zeros), std::string("\0\xff\0", 3));
  EXPECT_EQ(r.StrToBin(bad), "\x04");  // the piece ends at its first non-digit
  EXPECT_EQ(r.StrToBin(empty), "");
}

TEST(HexText, BinToStrGivesOnePairPerByteAndReadsBackThroughStrToBin) {
  clsRegistryAccess r;
  EXPECT_EQ(r.BinToStr("AB"), "41 42");
  EXPECT_EQ(r.BinToStr(std::string("\0\x0a\xff", 3)), "00 0A FF");
  EXPECT_EQ(r.BinToStr(""), "");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string hex = r.BinToStr(all);
  EXPECT_EQ(r.StrToBin(hex), all);
}

TEST(HexText, IsBinValid) {
  clsRegistryAccess r;
  EXPECT_TRUE(r.isBinValid("0a 1b ff"));
  EXPECT_TRUE(r.isBinValid("abc"));  // odd lengths are valid
  EXPECT_FALSE(r.isBinValid("0x41"));
  EXPECT_FALSE(r.isBinValid("   "));
  EXPECT_FALSE(r.isBinValid(""));
  EXPECT_FALSE(r.isBinValid("41,42"));
}

TEST(KeyPath, LongRootsInAnyCaseBecomeShortAndARootAloneHasNoSubkey) {
  std::string sub;
  std::string p = "hkey_local_machine\\SOFTWARE\\VELTOR";
  EXPECT_EQ(registry::parseKeyPath(p, sub), reg::kLocalMachine);
  EXPECT_EQ(p, "HKLM\\SOFTWARE\\VELTOR");
  EXPECT_EQ(sub, "SOFTWARE\\VELTOR");

  p = "hklm\\a";
  EXPECT_EQ(registry::parseKeyPath(p, sub), reg::kLocalMachine);
  p = "HKCU";
  EXPECT_EQ(registry::parseKeyPath(p, sub), reg::kCurrentUser);
  EXPECT_EQ(sub, "");
  p = "Hkey_Users";
  EXPECT_EQ(registry::parseKeyPath(p, sub), reg::kUsers);
  EXPECT_EQ(p, "HKUS");

  const std::pair<const char*, reg::Key> roots[] = {{"HKEY_CLASSES_ROOT\\x", reg::kClassesRoot},
                                                    {"HKEY_CURRENT_CONFIG\\x", reg::kCurrentConfig},
                                                    {"HKEY_PERFORMANCE_DATA", reg::kPerformanceData},
                                                    {"HKDD\\x", reg::kDynData},
                                                    {"HKEY_NOWHERE\\x", 0},
                                                    {"", 0}};
  for (const auto& [path, key] : roots) {
    p = path;
    EXPECT_EQ(registry::parseKeyPath(p, sub), key) << path;
  }

  // A subkey whose name holds a root name keeps it.
  p = "HKCU\\Software\\HKEY_USERS backup";
  registry::parseKeyPath(p, sub);
  EXPECT_EQ(sub, "Software\\HKEY_USERS backup");
  EXPECT_EQ(registry::longRootForm("hkcu\\HKCU"), "HKEY_CURRENT_USER\\HKCU");
}

TEST(KeyPath, ProtectedKeysInEveryForm) {
  for (const char* p : {"HKEY_LOCAL_MACHINE\\SOFTWARE", "  hkey_local_machine\\software  ", "HKLM\\SOFTWARE",
                        "hklm\\sam", "HKLM\\Security", "HKLM\\SYSTEM", "HKLM\\HARDWARE", "HKLM\\SOFTWARE\\Microsoft",
                        "HKLM\\SOFTWARE\\", "HKLM\\\\SOFTWARE", "HKLM", "HKEY_LOCAL_MACHINE",
                        // The root is the first four letters, whatever follows them.
                        "HKLM \\SOFTWARE", "HKLMx\\SYSTEM", "hklm_\\SAM", "HKLM...\\SOFTWARE\\\\microsoft\\"}) {
    EXPECT_TRUE(registry::isProtectedKey(p)) << p;
  }
  for (const char* p : {"HKLM\\SOFTWARE\\VELTOR", "HKCU\\SOFTWARE", "HKLM\\SOFTWARE\\Microsoft\\Windows", "HKCU",
                        "HKLM\\SYSTEMS", "HKLMx\\SYSTEM\\x", "HKEY_LOCAL_MACHINEx\\SOFTWARE"}) {
    EXPECT_FALSE(registry::isProtectedKey(p)) << p;
  }
}

}  // namespace
}  // namespace nfy
