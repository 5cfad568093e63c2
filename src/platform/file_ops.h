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

// Creates or truncates `path` and writes `bytes` to it. False on any failure
// (the file may then be left partly written).
bool writeFileBytes(const std::string& path, std::string_view bytes);

// Renames `from` over `to` in one step: `to` afterwards is either its old or
// its new content, never something in between. Readers that have `to` open
// do not make this fail for longer than `waitMs`.
bool replaceFile(const std::string& from, const std::string& to, unsigned waitMs);

// Deletes a file; false when it could not be deleted (or did not exist).
bool removeFile(const std::string& path);

// An exclusive lock between processes, held on a lock file. The lock goes
// when the object goes or the process ends, however it ends.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on `lockPath` (creating the file when missing), waiting
  // at most `waitMs` for another holder to let go. False when the wait ran
  // out or the file cannot be opened.
  bool acquire(const std::string& lockPath, unsigned waitMs);
  bool held() const { return handle_ != kNone; }
  void release();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

// Sleeps for about `ms` milliseconds.
void sleepMs(unsigned ms);

}  // namespace nfy::platform
