// Files of the user as whom the process runs, in a folder that other users
// may write too: the entries of a folder with their owner and kind, reading
// one such file with the checks made on the open file, and moving a file
// without replacing another one. Nothing here follows a symbolic link (or,
// on Windows, a junction or other reparse point) at an entry's own name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_ops.h"

namespace nfy::platform {

struct FolderEntry {
  std::string name;
  bool regular = false;  // a plain file: no folder, link, FIFO or device
  bool own = false;      // belongs to the user as whom the process runs
  FileStamp stamp;       // size and modification time of the entry itself
};

// True when `path` is a folder itself, not a link to one.
bool isPlainFolder(const std::string& path);
// isPlainFolder, and the folder belongs to the user as whom the process
// runs (owner as for files).
bool isOwnFolder(const std::string& path);

// The entries of a folder ("." and ".." left out), in no particular order.
// False when the folder cannot be listed.
bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries);

enum class OwnRead { Ok, Missing, NotRegular, NotOwn, TooLarge, Failed };

// Reads a whole file of at most `maxBytes` that is a regular file of the
// user as whom the process runs, with the stamp of that content. The checks
// are made on the opened file, so a file put in its place after a listing
// cannot slip through.
OwnRead readOwnFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes, FileStamp& stamp);

// Renames a file within one volume, never over an existing file (false
// then, and on any other failure).
bool moveFileNoReplace(const std::string& from, const std::string& to);

}  // namespace nfy::platform
