// Reading a file whole (or its start), the one way the program reads the
// files it keeps and the files it is handed. The data folder may be shared
// by every user of the machine, so a symbolic link (on Windows also a
// junction or other reparse point) at the file's own name is not followed
// unless asked for, and nothing but a regular file is read: a FIFO or device
// planted at the name is refused without waiting on it. All checks are made
// on the opened file, so that a file put in the place of another after a
// listing or a check cannot slip through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/file_ops.h"

namespace nfy::platform {

// Missing only when nothing stands at the name: a file that could not be
// opened never passes for one that does not exist (as an empty inbox
// would). NotRegular: a link, folder, FIFO or device at the name. NotOwn:
// another user's file where only the user's own is read. TooLarge: longer
// than the cap. Failed: anything else (a read error, or a file that kept
// changing while it was read).
enum class ReadStatus { Ok, Missing, NotRegular, NotOwn, TooLarge, Failed };

struct ReadOptions {
  static constexpr std::uint64_t kWholeFile = std::numeric_limits<std::uint64_t>::max();

  // The most that is read of the file.
  std::uint64_t maxBytes = kWholeFile;
  // A file longer than maxBytes is TooLarge, with nothing read; or, with
  // keepStart, Ok with its first maxBytes + 1 bytes: more than maxBytes
  // tells the caller that the file is longer.
  bool keepStart = false;
  // Only a file of the running user's own (owner as for fileOwnership).
  bool ownOnly = false;
  // A symbolic link at the name is followed: for files the program only
  // reads and that its administrator places (the registry store, XML).
  bool followLink = false;
  // Room kept in `bytes` for growth (an eighth of the file's size and 64
  // KiB more), for a buffer that is to grow, such as a parsed INI file that
  // edits add to: reserved, not touched, so it costs nothing until used.
  bool roomToGrow = false;
};

// The capacity roomToGrow gives a buffer of `size` bytes.
constexpr std::size_t withRoomToGrow(std::size_t size) { return size + size / 8 + 65536; }

// Reads the file at `path` into `bytes` (empty unless Ok). Other writers are
// not blocked, and a file that is replaced while it is open stays readable
// (and replaceable). A writer that rewrites the file in place while it is
// read makes it read again, until content and stamp belong together; with
// `stamp`, that is filled with the stamp of exactly the content read. When
// it is not Ok, lastFileError() tells why.
ReadStatus readFile(const std::string& path, std::string& bytes, const ReadOptions& options = {},
                    FileStamp* stamp = nullptr);

}  // namespace nfy::platform
