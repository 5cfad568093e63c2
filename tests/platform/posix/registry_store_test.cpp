// The file-backed registry store, through the same calls the program makes
// on Windows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/registry.h"
#include "support/fifo.h"
#include "support/sandbox.h"

namespace nfy::platform::reg {
namespace {

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override { setenv("NFY_REGISTRY_ROOT", box.path("registry").c_str(), 1); }
  void TearDown() override { unsetenv("NFY_REGISTRY_ROOT"); }

  std::string storeText(const std::string& root = "HKEY_LOCAL_MACHINE") const {
    return test::readFile(box.path("registry/" + root + ".reg"));
  }
  void writeStore(const std::string& text) const { box.write("registry/HKEY_LOCAL_MACHINE.reg", text); }

  Key create(const std::string& path, uint32_t access = kAllAccess) {
    Key k = 0;
    EXPECT_EQ(createKey(kLocalMachine, path, access, k), kSuccess) << path;
    return k;
  }
  void setString(Key k, const std::string& name, const std::string& text) {
    ASSERT_EQ(setValue(k, name, kString, reinterpret_cast<const unsigned char*>(text.c_str()),
                       static_cast<uint32_t>(text.size() + 1)),
              kSuccess);
  }
  // The value's type and bytes; status in rc.
  std::vector<unsigned char> query(Key k, const std::string& name, uint32_t& type, long& rc) {
    uint32_t size = 0;
    rc = queryValue(k, name, &type, nullptr, &size);
    if (rc != kSuccess) return {};
    std::vector<unsigned char> data(size);
    rc = queryValue(k, name, &type, data.data(), &size);
    data.resize(size);
    return data;
  }
  std::string queryString(Key k, const std::string& name) {
    uint32_t type = 0;
    long rc = 0;
    auto d = query(k, name, type, rc);
    EXPECT_EQ(rc, kSuccess) << name;
    EXPECT_EQ(type, kString) << name;
    return d.empty() ? "<no data>" : std::string(d.begin(), d.end() - 1);
  }

  test::Sandbox box;
};

TEST_F(RegistryStore, EveryValueTypeSurvivesTheFileAndAnotherHandle) {
  Key k = create("SOFTWARE\\VELTOR");
  setString(k, "InstallationPath", "/opt/a \"b\" c\\d/");
  setString(k, "Empty", "");
  setString(k, "", "the default");
  const unsigned char bin[] = {0x00, 0x01, 0x7f, 0xff};
  ASSERT_EQ(setValue(k, "Bin", kBinary, bin, sizeof bin), kSuccess);
  ASSERT_EQ(setValue(k, "NoBytes", kBinary, nullptr, 0), kSuccess);
  const unsigned char ten[] = {10, 0, 0, 0};
  ASSERT_EQ(setValue(k, "Ten", kDword, ten, 4), kSuccess);
  // Strings that one line cannot hold, and other types, keep their bytes.
  const unsigned char lines[] = {'a', '\r', '\n', 'b', 0};
  ASSERT_EQ(setValue(k, "Lines", kString, lines, sizeof lines), kSuccess);
  const unsigned char multi[] = {'x', 0, 'y', 0, 0};
  ASSERT_EQ(setValue(k, "Multi", 7, multi, sizeof multi), kSuccess);
  ASSERT_EQ(closeKey(k), kSuccess);

  std::string text = storeText();
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]\n"), std::string::npos);
  EXPECT_NE(text.find("\"InstallationPath\"=\"/opt/a \\\"b\\\" c\\\\d/\"\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"the default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Bin\"=hex:00,01,7f,ff\n"), std::string::npos);
  EXPECT_NE(text.find("\"Ten\"=dword:0000000a\n"), std::string::npos);
  EXPECT_NE(text.find("\"Lines\"=hex(1):61,0d,0a,62,00\n"), std::string::npos);

  ASSERT_EQ(openKey(kLocalMachine, "SOFTWARE\\VELTOR", kRead, k), kSuccess);
  EXPECT_EQ(queryString(k, "InstallationPath"), "/opt/a \"b\" c\\d/");
  EXPECT_EQ(queryString(k, "Empty"), "");
  EXPECT_EQ(queryString(k, ""), "the default");
  uint32_t type = 0;
  long rc = 0;
  EXPECT_EQ(query(k, "Bin", type, rc), std::vector<unsigned char>(bin, bin + 4));
  EXPECT_EQ(type, kBinary);
  EXPECT_TRUE(query(k, "NoBytes", type, rc).empty());
  EXPECT_EQ(rc, kSuccess);
  EXPECT_EQ(query(k, "Ten", type, rc), std::vector<unsigned char>(ten, ten + 4));
  EXPECT_EQ(type, kDword);
  EXPECT_EQ(query(k, "Lines", type, rc), std::vector<unsigned char>(lines, lines + 5));
  EXPECT_EQ(query(k, "Multi", type, rc), std::vector<unsigned char>(multi, multi + 5));
  EXPECT_EQ(type, 7u);
  closeKey(k);
}

TEST_F(RegistryStore, ReadsAHandWrittenFile) {
  writeStore(
      "REGEDIT4\r\n\r\n; written by hand\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTOR]\r\n"
      "\"RegID\"=\"1234\"\r\n\"Big\"=hex:01,02,\\\r\n  03\r\n\"Num\"=dword:FF\r\n");
  Key k = 0;
  ASSERT_EQ(openKey(kLocalMachine, "software\\veltor", kQueryValue, k), kSuccess);
  EXPECT_EQ(queryString(k, "RegID"), "1234");
  uint32_t type = 0;
  long rc = 0;
  EXPECT_EQ(query(k, "Big", type, rc), (std::vector<unsigned char>{1, 2, 3}));
  EXPECT_EQ(query(k, "Num", type, rc), (std::vector<unsigned char>{0xff, 0, 0, 0}));
  closeKey(k);
}

TEST_F(RegistryStore, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
  Key k = create("Software\\Veltor");
  setString(k, "RegID", "1");
  setString(k, "REGID", "2");  // the same value
  closeKey(k);
  k = create("SOFTWARE\\VELTOR");  // opens the same key
  EXPECT_EQ(queryString(k, "regid"), "2");
  std::string name;
  uint32_t type = 0;
  std::vector<unsigned char> data;
  EXPECT_EQ(enumValue(k, 0, name, type, data), kSuccess);
  EXPECT_EQ(name, "RegID");
  EXPECT_EQ(enumValue(k, 1, name, type, data), kNoMoreItems);
  closeKey(k);
  EXPECT_EQ(enumKey(kLocalMachine, 0, name), kSuccess);
  EXPECT_EQ(name, "Software");
  EXPECT_EQ(enumKey(kLocalMachine, 1, name), kNoMoreItems);
}

TEST_F(RegistryStore, AnswersWithTheWindowsStatusCodes) {
  Key k = 0;
  EXPECT_EQ(openKey(kLocalMachine, "SOFTWARE\\VELTOR", kQueryValue, k), kFileNotFound);  // no file yet
  EXPECT_EQ(k, 0u);
  k = create("SOFTWARE\\VELTOR");
  EXPECT_EQ(openKey(kLocalMachine, "SOFTWARE\\Missing", kQueryValue, k), kFileNotFound);
  k = create("SOFTWARE\\VELTOR");
  uint32_t type = 0, size = 0;
  EXPECT_EQ(queryValue(k, "Nope", &type, nullptr, &size), kFileNotFound);
  EXPECT_EQ(deleteValue(k, "Nope"), kFileNotFound);

  // The size probe of ReadReg: a zero-length buffer answers 234 and the size.
  setString(k, "RegID", "1234");
  unsigned char probe = 0;
  type = kString, size = 0;
  EXPECT_EQ(queryValue(k, "RegID", &type, &probe, &size), kMoreData);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(queryValue(k, "RegID", &type, &probe, nullptr), kInvalidParameter);

  // Enumeration: alphabetical subkeys, then 259.
  Key sub = create("SOFTWARE\\VELTOR\\b");
  closeKey(sub);
  sub = create("SOFTWARE\\VELTOR\\A");
  closeKey(sub);
  std::string name;
  EXPECT_EQ(enumKey(k, 0, name), kSuccess);
  EXPECT_EQ(name, "A");
  EXPECT_EQ(enumKey(k, 1, name), kSuccess);
  EXPECT_EQ(name, "b");
  EXPECT_EQ(enumKey(k, 2, name), kNoMoreItems);

  // Rights: a key opened for queries only may not be changed or listed.
  Key readOnly = 0;
  ASSERT_EQ(openKey(kLocalMachine, "SOFTWARE\\VELTOR", kQueryValue, readOnly), kSuccess);
  const unsigned char one[] = {1, 0, 0, 0};
  EXPECT_EQ(setValue(readOnly, "X", kDword, one, 4), kAccessDenied);
  EXPECT_EQ(enumKey(readOnly, 0, name), kAccessDenied);
  closeKey(readOnly);
  Key anyRights = 0;
  ASSERT_EQ(openKey(kLocalMachine, "SOFTWARE\\VELTOR", kMaximumAllowed, anyRights), kSuccess);
  EXPECT_EQ(setValue(anyRights, "X", kDword, one, 4), kSuccess);
  closeKey(anyRights);

  // A key with subkeys cannot be deleted; a leaf can, also through itself.
  EXPECT_EQ(deleteKey(kLocalMachine, "SOFTWARE\\VELTOR", 0), kAccessDenied);
  EXPECT_EQ(deleteKey(k, "A", 0), kSuccess);
  ASSERT_EQ(openKey(k, "b", kAllAccess, sub), kSuccess);
  EXPECT_EQ(deleteKey(sub, "", 0), kSuccess);
  EXPECT_EQ(queryValue(sub, "x", &type, nullptr, &size), 1018);  // deleted while open
  closeKey(sub);
  EXPECT_EQ(deleteKey(k, "b", 0), kFileNotFound);
  EXPECT_EQ(deleteKey(kLocalMachine, "", 0), kAccessDenied);

  // Handles.
  EXPECT_EQ(closeKey(k), kSuccess);
  EXPECT_EQ(closeKey(k), kInvalidHandle);
  EXPECT_EQ(queryValue(k, "RegID", &type, nullptr, &size), kInvalidHandle);
  EXPECT_EQ(openKey(0x80000004u, "", kRead, k), kInvalidHandle);
}

TEST_F(RegistryStore, AMalformedFileIsAnErrorStatusAndStaysUntouched) {
  const char* bad[] = {
      "not a registry file\n",
      "REGEDIT4\n\"orphan\"=\"value before any key\"\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\Other]\n",  // a key of another root
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"unterminated=\"x\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:zz\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"bad \\escape\"\n",
  };
  for (const char* text : bad) {
    writeStore(text);
    Key k = 0;
    EXPECT_EQ(openKey(kLocalMachine, "A", kRead, k), kBadFormat) << text;
    EXPECT_EQ(createKey(kLocalMachine, "A", kAllAccess, k), kBadFormat) << text;
    EXPECT_EQ(storeText(), text);
  }
  // A header nested deeper than the registry allows is refused, not recursed into.
  std::string deep = "REGEDIT4\n[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 100000; ++i) deep += "\\k";
  writeStore(deep + "]\n");
  Key k = 0;
  EXPECT_EQ(openKey(kLocalMachine, "k", kRead, k), kBadFormat);
}

TEST_F(RegistryStore, ConcurrentWritersFromSeveralProcessesLoseNothing) {
  Key k = create("SOFTWARE\\VELTOR");
  closeKey(k);
  constexpr int kWriters = 4, kEach = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      Key mine = 0;
      if (openKey(kLocalMachine, "SOFTWARE\\VELTOR", kAllAccess, mine) != kSuccess) _exit(2);
      for (int i = 0; i < kEach; ++i) {
        std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        if (setValue(mine, name, kString, reinterpret_cast<const unsigned char*>(name.c_str()),
                     static_cast<uint32_t>(name.size() + 1)) != kSuccess) {
          ++failures;
        }
      }
      _exit(failures ? 1 : 0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(openKey(kLocalMachine, "SOFTWARE\\VELTOR", kRead, k), kSuccess);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kEach; ++i) {
      std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
      EXPECT_EQ(queryString(k, name), name);
    }
  }
  std::string name;
  uint32_t type = 0;
  std::vector<unsigned char> data;
  EXPECT_EQ(enumValue(k, kWriters * kEach, name, type, data), kNoMoreItems);
  closeKey(k);
}

}  // namespace
}  // namespace nfy::platform::reg

namespace nfy::platform::reg {
namespace {

TEST_F(RegistryStore, AWriterThatHoldsTheLockMakesChangesFailInsteadOfHanging) {
  Key k = create("SOFTWARE\\VELTOR");
  setString(k, "RegID", "1");
  // Another program holds the store's lock and never lets go.
  int fd = ::open(box.path("registry/HKEY_LOCAL_MACHINE.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const std::string two = "2";
  EXPECT_NE(setValue(k, "RegID", kString, reinterpret_cast<const unsigned char*>(two.c_str()), 2), kSuccess);
  EXPECT_EQ(queryString(k, "RegID"), "1");  // reads go on while the lock is held
  ::close(fd);
  setString(k, "RegID", "2");
  EXPECT_EQ(queryString(k, "RegID"), "2");
  closeKey(k);
}

TEST_F(RegistryStore, AFifoAtTheStoreIsRefusedAndALinkAtATemporaryNameIsNotWrittenThrough) {
  box.mkdirs("registry");
  box.write("victim.txt", "precious");
  // The temporary name the store once used (the process id) as a link.
  std::filesystem::create_symlink(box.path("victim.txt"),
                                  box.path("registry/HKEY_LOCAL_MACHINE.reg.tmp." + std::to_string(::getpid())));
  Key k = create("SOFTWARE\\VELTOR");
  setString(k, "RegID", "1234");
  closeKey(k);
  EXPECT_EQ(test::readFile(box.path("victim.txt")), "precious");
  EXPECT_NE(storeText().find("\"RegID\"=\"1234\""), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(box.path("registry/HKEY_LOCAL_MACHINE.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "the store stays readable by every user";

  std::filesystem::remove(box.path("registry/HKEY_LOCAL_MACHINE.reg"));
  ASSERT_TRUE(test::makeFifo(box.path("registry/HKEY_LOCAL_MACHINE.reg")));
  long rc = kSuccess;
  EXPECT_TRUE(test::endsWithoutWaitingOn(box.path("registry/HKEY_LOCAL_MACHINE.reg"), [&] {
    Key key = 0;
    rc = openKey(kLocalMachine, "SOFTWARE\\VELTOR", kRead, key);
  }));
  EXPECT_NE(rc, kSuccess);
}

}  // namespace
}  // namespace nfy::platform::reg
