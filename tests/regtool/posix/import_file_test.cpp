// nfyDeskReg import reads its file the safe way: a FIFO does not make it wait
// for ever, and a link planted at the name is not followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "regtool/regtool.h"
#include "support/sandbox.h"

namespace nfy::regtool {
namespace {

TEST(RegToolImportFile, AFifoOrALinkIsRefusedAtOnce) {
  test::Sandbox box;
  box.write("real.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\nfyImportLink]\r\n\"a\"=\"one\"\r\n");
  ASSERT_EQ(::mkfifo(box.path("pipe.reg").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(box.path("real.reg").c_str(), box.path("link.reg").c_str()), 0);
  for (const char* name : {"pipe.reg", "link.reg"}) {
    std::ostringstream out, err;
    EXPECT_EQ(run({"import", box.path(name)}, out, err), 1) << name;
    EXPECT_NE(err.str().find("cannot be read (it must be a regular file, not a link)"), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace nfy::regtool
