// The class on the Linux store where it differs from Windows: roots without
// a store, a store file it cannot use, and links in the export's folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include "registry/registry_access.h"
#include "support/sandbox.h"
#include "support/scratch_registry.h"

namespace nfy {
namespace {

TEST(RegistryAccessStore, PerformanceAndDynamicDataRootsAreInvalidHandles) {
  test::Sandbox box;
  test::ScratchRegistry scratch(box);
  clsRegistryAccess r;
  for (const char* p : {"HKEY_PERFORMANCE_DATA\\x", "HKDD\\x", "HKXX\\x"}) {
    std::string err;
    EXPECT_EQ(r.CreateKey(p, &err), 0) << p;
    EXPECT_EQ(err.substr(err.find(", ") + 2), "6-The handle is invalid.") << p;
    EXPECT_FALSE(r.KeyExists(p));
  }
}

TEST(RegistryAccessStore, WriteDWordThatCannotOpenItsKeyLogsTheBuiltText) {
  test::Sandbox box;
  test::ScratchRegistry scratch(box);
  test::CapturedLog log(box);
  box.write("registry/HKEY_CURRENT_USER.reg", "not a registry file");
  clsRegistryAccess r;
  std::string err;
  EXPECT_EQ(r.WriteDWORD("HKCU\\Software\\k", "d", 5, &err), 0);
  const std::string about = "d with value 5 for registry key HKCU\\Software\\k, ";
  EXPECT_EQ(err, "Error while setting the value for DWORD " + about + "Error while opening the value for string " +
                     about + "1010-The configuration registry key is invalid.");
  EXPECT_EQ(log.lines().back(), "ERR : WriteDWORD, " + err);
  EXPECT_EQ(box.read("registry/HKEY_CURRENT_USER.reg"), "not a registry file");
}

TEST(RegistryAccessStore, ExportNeverWritesThroughALinkPlantedAtItsFile) {
  test::Sandbox box;
  test::ScratchRegistry scratch(box);
  clsRegistryAccess r;
  r.WriteString(scratch.base(), "s", "x");
  box.mkdirs("rootonly");
  for (const char* target : {"rootonly/created.reg", "rootonly/existing.reg"}) {
    if (std::string(target).find("existing") != std::string::npos) box.write(target, "kept");
    ASSERT_EQ(::symlink(box.path(target).c_str(), box.path("out.reg").c_str()), 0);
    EXPECT_EQ(r.ExportToReg(scratch.base(), box.path("out.reg")), 0) << target;
    ::unlink(box.path("out.reg").c_str());
  }
  EXPECT_FALSE(box.exists("rootonly/created.reg"));
  EXPECT_EQ(box.read("rootonly/existing.reg"), "kept");
}

}  // namespace
}  // namespace nfy
