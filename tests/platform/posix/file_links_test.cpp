// Links, FIFOs and modes where files are read, listed and created.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// The user's own files are read without an access-time update (the bodies
// are read again to be compared, each update a journal write); a file of
// another user, which may not be opened that way, is still looked at and
// refused as not the user's own.
TEST(FileLinks, OwnFilesAreReadWithoutAnAccessTimeUpdateAndOthersStillRefused) {
  test::Sandbox box;
  box.write("own.dat", "body");
  const std::string own = box.path("own.dat");
  // An access time before the file's change: any read would update it.
  const struct timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
  ASSERT_EQ(::utimensat(AT_FDCWD, own.c_str(), times, 0), 0);
  std::string bytes;
  ASSERT_EQ(readFile(own, bytes, {.ownOnly = true}), ReadStatus::Ok);
  EXPECT_EQ(bytes, "body");
  struct stat st {};
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);

  if (::geteuid() != 0) GTEST_SKIP() << "reading as another user needs root";
  ASSERT_EQ(::chmod(own.c_str(), 0644), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Exit 2: this user cannot reach the file at all (a folder above it is
    // closed to others), so there is nothing to check.
    if (::setgid(4242) != 0 || ::setuid(4242) != 0) ::_exit(3);
    if (::access(own.c_str(), R_OK) != 0) ::_exit(2);
    // The open succeeds; the owner check then refuses the file, or takes it
    // when this test process read its user before the switch (a process
    // reads it once).
    std::string read;
    const ReadStatus r = readFile(own, read, {.ownOnly = true});
    ::_exit((r == ReadStatus::NotOwn && read.empty()) || (r == ReadStatus::Ok && read == "body") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "the sandbox is closed to other users";
  EXPECT_EQ(WEXITSTATUS(status), 0);
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
