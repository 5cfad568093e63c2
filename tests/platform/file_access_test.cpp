// Reading, listing and creating files: the caps, the statuses the callers
// tell apart, and the stamp of what was read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/file_read.h"
#include "platform/folder.h"
#include "platform/new_file.h"
#include "support/sandbox.h"

namespace nfy::platform {
namespace {

TEST(FileRead, TheCapRefusesALongerFileOrKeepsItsStart) {
  test::Sandbox box;
  box.write("ten.txt", "0123456789");
  const std::string path = box.path("ten.txt");
  std::string bytes = "left over";
  EXPECT_EQ(readFile(path, bytes, {.maxBytes = 4}), ReadStatus::TooLarge);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(readFile(path, bytes, {.maxBytes = 4, .keepStart = true}), ReadStatus::Ok);
  EXPECT_EQ(bytes, "01234") << "one byte more than the cap tells that the file is longer";
  // Caps just below, at and past the file's size.
  for (std::uint64_t cap : {9u, 10u, 11u, 4096u, 5000u}) {
    EXPECT_EQ(readFile(path, bytes, {.maxBytes = cap, .keepStart = true}), ReadStatus::Ok) << cap;
    EXPECT_EQ(bytes, "0123456789") << cap;
  }
  FileStamp stamp;
  EXPECT_EQ(readFile(path, bytes, {.maxBytes = 10, .ownOnly = true}, &stamp), ReadStatus::Ok);
  EXPECT_EQ(bytes, "0123456789");
  EXPECT_TRUE(stamp.exists);
  EXPECT_EQ(stamp.size, 10u);
  EXPECT_EQ(stamp.modified, fileStamp(path).modified);
}

TEST(FileRead, AWholeFileWithoutACapAndWhatIsNoFile) {
  test::Sandbox box;
  std::string big(300 * 1024, 'x');
  for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>('a' + i % 26);
  box.write("big.ini", big);
  std::string bytes;
  EXPECT_EQ(readFile(box.path("big.ini"), bytes), ReadStatus::Ok);
  EXPECT_EQ(bytes, big);
  box.write("empty.ini", "");
  EXPECT_EQ(readFile(box.path("empty.ini"), bytes, {.maxBytes = 0}), ReadStatus::Ok);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(readFile(box.path("empty.ini"), bytes), ReadStatus::Ok);
  EXPECT_EQ(bytes, "");
  const std::string page(4096, 'p');
  box.write("page.ini", page);
  EXPECT_EQ(readFile(box.path("page.ini"), bytes), ReadStatus::Ok);
  EXPECT_EQ(bytes, page);

  EXPECT_EQ(readFile(box.path("none.ini"), bytes), ReadStatus::Missing);
  EXPECT_EQ(readFile(box.path("none/deeper.ini"), bytes), ReadStatus::Missing);
  box.mkdirs("folder.ini");
  EXPECT_EQ(readFile(box.path("folder.ini"), bytes), ReadStatus::NotRegular);
  EXPECT_NE(lastFileError().number, 0);
}

TEST(NewFile, IsCreatedOnceAndNeverOverAnExistingFile) {
  test::Sandbox box;
  const std::string path = box.path("export.reg");
  std::FILE* f = createNewFile(path, NewFile::Default);
  ASSERT_NE(f, nullptr);
  EXPECT_GE(std::fputs("REGEDIT4\r\n", f), 0);
  EXPECT_EQ(std::fclose(f), 0);
  EXPECT_EQ(box.read("export.reg"), "REGEDIT4\r\n");
  EXPECT_EQ(createNewFile(path, NewFile::Private), nullptr);
  EXPECT_EQ(box.read("export.reg"), "REGEDIT4\r\n");
}

TEST(FolderList, TellsFilesFromFoldersWithTheirStamps) {
  test::Sandbox box;
  box.mkdirs("list/sub");
  box.write("list/a.ini", "abc");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(listFolder(box.path("list"), entries));
  std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.ini");
  EXPECT_TRUE(entries[0].regular);
  EXPECT_TRUE(entries[0].own);
  EXPECT_EQ(entries[0].stamp.size, 3u);
  EXPECT_EQ(entries[1].name, "sub");
  EXPECT_FALSE(entries[1].regular);
  // Only the names asked for are listed.
  ASSERT_TRUE(listFolder(box.path("list"), entries, FolderLink::Refused,
                         [](std::string_view name) { return name.ends_with(".ini"); }));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "a.ini");
  EXPECT_EQ(entries[0].stamp.size, 3u);
  EXPECT_FALSE(listFolder(box.path("missing"), entries));
  EXPECT_FALSE(listFolder(box.path("list/a.ini"), entries));
  EXPECT_TRUE(entries.empty());
}

// The looks made ahead answer for their own files, whatever the order they
// are asked in and however far the look ahead has come; one left running
// ends with its folder.
TEST(HeldFolder, LooksMadeAheadAnswerForTheirOwnFiles) {
  test::Sandbox box;
  box.mkdirs("bodies/sub.dat");
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    names.push_back(std::to_string(i) + ".dat");
    box.write("bodies/" + names.back(), std::string(static_cast<size_t>(i % 17 + 1), 'x'));
  }
  box.write("bodies/not-given.dat", "?");
  names.insert(names.begin() + 150, {"sub.dat", "missing.dat"});
  {
    HeldFolder left(box.path("bodies"));
    left.lookAhead(names);
  }
  HeldFolder folder(box.path("bodies"));
  folder.lookAhead(names);
  auto expect = [&](const std::string& name) {
    SCOPED_TRACE(name);
    const FileStamp direct = fileStamp(box.path("bodies/" + name));
    EXPECT_EQ(folder.stamp(name), direct);
    EXPECT_EQ(direct.exists, name != "sub.dat" && name != "missing.dat");
  };
  for (size_t k = 0; k < names.size(); k += 3) expect(names[k]);
  expect("7.dat");          // behind the place reached
  expect("not-given.dat");  // never looked at ahead
  expect(names.back());
}

}  // namespace
}  // namespace nfy::platform
