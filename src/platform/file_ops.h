// What a store of whole files needs from the operating system: reading a
// file with its identity, writing a file beside it and renaming it over the
// old one in one step, and a lock between processes with a bounded wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nfy::platform {

// Enough of a file's identity to tell whether it changed on disk: a file
// replaced by another one gets a new id, a file rewritten in place a new
// size or modification time (within the file system's time resolution).
// Where asking for the id costs a handle per call (Windows), id and volume
// are 0 and size and time alone tell.
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch
  std::uint64_t volume = 0;
  std::uint64_t id = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of a file by name; exists is false when there is no such file.
FileStamp fileStamp(const std::string& path);

// The wall clock in the units of FileStamp::modified.
std::int64_t fileClockNow();

enum class ReadStatus { Ok, Missing, Failed };

// Reads a whole file and the stamp of exactly that content. Other writers
// are not blocked, and a file that is replaced while it is open stays
// readable (and replaceable).
ReadStatus readFileWithStamp(const std::string& path, std::string& bytes, FileStamp& stamp);

// Replaces the file `path` whole: writes `bytes` to `tempPath` (beside it)
// and renames that over `path` in one step, so that `path` is always either
// its old or its new content, and readers that have the old one open keep
// it. Fills `stamp` with the stamp of the new content. Another program
// holding the file open without sharing its deletion makes the rename wait,
// at most `waitMs`. False on failure, with `tempPath` removed and `path` as
// it was.
bool replaceFileWith(const std::string& path, const std::string& tempPath, std::string_view bytes, FileStamp& stamp,
                     unsigned waitMs);

// Deletes a file; false when it could not be deleted (or did not exist).
bool removeFile(const std::string& path);

// An exclusive lock between processes, taken on a lock file that stays open
// between locks. The lock goes with unlock(), with the object or with the
// process, however it ends.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens (creating when missing) the lock file; false when it cannot.
  bool open(const std::string& lockPath);
  // Takes the lock, waiting at most `waitMs` for another holder to let go;
  // false when the wait ran out.
  bool lock(unsigned waitMs);
  void unlock();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  bool locked_ = false;
};

// Sleeps for about `ms` milliseconds.
void sleepMs(unsigned ms);

}  // namespace nfy::platform
