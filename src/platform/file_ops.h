// What a store of whole files needs from the operating system: a file's
// identity, writing a file beside it and renaming it over the old one in one
// step, and a lock between processes with a bounded wait. Reading a file is
// file_read.h, listing a folder folder.h, creating a file new new_file.h.
//
// The data folder may be shared by every user of the machine, so none of
// these ever follows a symbolic link at the file's own name (a link there is
// refused), ever waits on a FIFO or device planted there (only regular files
// are used), or writes through a temporary name that another user could
// have prepared: temporary files get a fresh name and are created new.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// Who holds what stands at a name of the shared folder: nothing, a regular
// file of the running user's own (Linux: its owner is the effective user;
// Windows: its owner SID is the process token's user, or the owner the token
// gives new objects, as for an elevated administrator), or anything else (a
// file of another user, a link, a folder, a FIFO or device).
enum class Ownership { None, Own, Other };
Ownership fileOwnership(const std::string& path);

// Who may read a file the program creates: its user only (the inbox, the
// log, lock files), every user (files the users of a machine share), or
// whoever the process's defaults let (on Linux what its umask leaves of
// 0666; a file the user asked for by name). An existing file keeps its own
// mode.
enum class NewFile { Private, Shared, Default };

// Replaces the file `path` whole: writes `bytes` to a new temporary file
// beside it ("<path>.tmp" and a unique ending), flushes it to the disk and
// renames it over `path` in one step, so that `path` is always either its
// old or its new content, also after a power cut, and readers that have the
// old one open keep it. The new file keeps the old one's mode (and owner and
// group where the process may set them); a new file gets `mode`. A file of
// another user at `path` is never replaced (false). Fills
// `stamp` with the stamp of the new content. Another program holding the
// file open without sharing its deletion makes the rename wait, at most
// `waitMs`. False on failure (a symbolic link or a non-regular file at
// `path` too), with the temporary file removed and `path` as it was, and
// `stamp.exists` false. One failure is different: when the folder cannot
// be flushed after the rename, the new content stands at `path` but may not
// survive a power cut; that is a failure too, with `stamp` filled
// (`stamp.exists` true) so that the caller can tell.
// Unflushed leaves out both flushes, for a file whose loss, or an older
// copy of it after a power cut, costs only work (a record that is checked
// against what it describes): the replace stays atomic.
enum class Durability { Flushed, Unflushed };
bool replaceFileWith(const std::string& path, std::string_view bytes, FileStamp& stamp, unsigned waitMs,
                     NewFile mode = NewFile::Private, Durability durability = Durability::Flushed);

// Removes the file at `path` and, where the system has that, flushes its
// folder at once (whatever DeferredFolderFlush is open), so that the removal
// survives a power cut before anything written after it. True when nothing
// stands at `path` any more (also when nothing stood there).
bool removeFileDurably(const std::string& path);

// While one is open, replaceFileWith leaves the flush of the folder to it:
// flush() flushes the folders of the files replaced meanwhile, once each, so
// that a group of files replaced in one folder costs one flush of it. Call
// flush() before writing anything that must not reach the disk before those
// files (an index that names them); false when a folder could not be
// flushed. A scope closed without flush() flushes then. Where a replace
// needs no flush of its folder (Windows), it is a no-op.
class DeferredFolderFlush {
 public:
  DeferredFolderFlush();
  ~DeferredFolderFlush();
  DeferredFolderFlush(const DeferredFolderFlush&) = delete;
  DeferredFolderFlush& operator=(const DeferredFolderFlush&) = delete;
  bool flush();
  // Takes the folder to flush at flush(): what replaceFileWith does while
  // this is the innermost one open on the thread.
  void defer(std::string folder);

 private:
  DeferredFolderFlush* outer_;
  std::vector<std::string> folders_;
};

// Opens a file for appending (creating it when missing, readable by its user
// only) as a stream that started programs do not inherit; nullptr when it
// cannot, or when a symbolic link, a non-regular file or a file of another
// user stands at `path`.
std::FILE* openAppendStream(const std::string& path);

// Deletes a file; false when it could not be deleted (or did not exist).
bool removeFile(const std::string& path);

// Why the last failing call of this header on this thread failed: the
// run-time error number it stands for (61 a full disk, 70 access refused, 57
// an I/O error, 75 anything else) and the system's own text for it ("No
// space left on device").
struct FileError {
  long number = 0;
  std::string text;
};
FileError lastFileError();

// True for a name that replaceFileWith gives its temporary files beside
// `target` ("<target>.tmp." and the unique ending): what a process killed
// during a replace leaves behind.
bool isReplaceLeftover(const std::string& name, const std::string& target);

// An exclusive lock between processes, taken on a lock file that stays open
// between locks. The lock goes with unlock(), with the object or with the
// process, however it ends.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens (creating when missing, readable by its user only) the lock
  // file; false when it cannot, and when the file is not a regular file of
  // this user's own (anybody who may open a lock file may hold it).
  bool open(const std::string& lockPath);
  // Takes the lock, waiting at most `waitMs` for another holder to let go;
  // false when the wait ran out. After a wait ran out, the lock is only
  // tried (false at once) until the holder that outlasted it has let go:
  // one waiter per lock, and no caller waits twice for the same holder.
  bool lock(unsigned waitMs);
  void unlock();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::string path_;
  bool locked_ = false;
  std::shared_ptr<void> gaveUp_;  // the wait that ran out, while it lasts
};

// Sleeps for about `ms` milliseconds.
void sleepMs(unsigned ms);

}  // namespace nfy::platform
