// Links, FIFOs and modes where files are read, listed and created.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/file_read.h"
#include "platform/folder.h"
#include "platform/new_file.h"
#include "support/fifo.h"
#include "support/sandbox.h"

namespace nfy::platform {
namespace {

TEST(FileLinks, ALinkIsReadOnlyWhenAskedForAndAFifoNeverWaitedOn) {
  test::Sandbox box;
  box.write("real.ini", "[a]\r\n");
  ASSERT_EQ(::symlink(box.path("real.ini").c_str(), box.path("link.ini").c_str()), 0);
  std::string bytes;
  EXPECT_EQ(readFile(box.path("link.ini"), bytes), ReadStatus::NotRegular);
  EXPECT_EQ(readFile(box.path("link.ini"), bytes, {.ownOnly = true}), ReadStatus::NotRegular);
  EXPECT_EQ(readFile(box.path("link.ini"), bytes, {.followLink = true}), ReadStatus::Ok);
  EXPECT_EQ(bytes, "[a]\r\n");
  ASSERT_EQ(::symlink(box.path("gone.ini").c_str(), box.path("dangling.ini").c_str()), 0);
  EXPECT_EQ(readFile(box.path("dangling.ini"), bytes), ReadStatus::NotRegular) << "something stands at the name";

  ASSERT_TRUE(test::makeFifo(box.path("pipe.ini")));
  ReadStatus status = ReadStatus::Ok;
  EXPECT_TRUE(test::endsWithoutWaitingOn(box.path("pipe.ini"), [&] {
    status = readFile(box.path("pipe.ini"), bytes, {.maxBytes = 10, .keepStart = true, .followLink = true});
  }));
  EXPECT_EQ(status, ReadStatus::NotRegular);
}

TEST(FileLinks, AFolderLinkIsListedOnlyWhenFollowed) {
  test::Sandbox box;
  box.mkdirs("real");
  box.write("real/a.ini", "x");
  ASSERT_EQ(::symlink(box.path("real").c_str(), box.path("link").c_str()), 0);
  ASSERT_EQ(::symlink(box.path("real/a.ini").c_str(), box.path("real/b.ini").c_str()), 0);
  std::vector<FolderEntry> entries;
  EXPECT_FALSE(listFolder(box.path("link"), entries));
  ASSERT_TRUE(listFolder(box.path("link"), entries, FolderLink::Followed));
  ASSERT_EQ(entries.size(), 2u);
  for (const FolderEntry& e : entries) EXPECT_EQ(e.regular, e.name == "a.ini") << e.name << " is a link";
}

TEST(FileLinks, ANewFileIsNeverMadeThroughALinkAndTakesItsMode) {
  test::Sandbox box;
  ASSERT_EQ(::symlink(box.path("target.log").c_str(), box.path("planted.log").c_str()), 0);
  EXPECT_EQ(createNewFile(box.path("planted.log"), NewFile::Private), nullptr);
  EXPECT_FALSE(box.exists("target.log"));
  const mode_t old = ::umask(022);
  std::FILE* mine = createNewFile(box.path("mine.log"), NewFile::Private);
  std::FILE* theirs = createNewFile(box.path("export.reg"), NewFile::Default);
  ::umask(old);
  ASSERT_NE(mine, nullptr);
  ASSERT_NE(theirs, nullptr);
  std::fclose(mine);
  std::fclose(theirs);
  struct stat st {};
  ASSERT_EQ(::stat(box.path("mine.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(box.path("export.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace nfy::platform
