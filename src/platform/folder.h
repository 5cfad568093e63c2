// Folders that other users may write too: the entries of a folder with
// their owner and kind, what a folder is, and moving a file without
// replacing another one. Nothing here follows a symbolic link (or, on
// Windows, a junction or other reparse point) at an entry's own name.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
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

// Whether a link at the folder's own name is listed as the folder it
// leads to (a path the administrator configured) or refused.
enum class FolderLink { Refused, Followed };

// Which entries a listing is about, by name alone: only those are looked at
// (their kind, owner and stamp cost a call each) and listed. Empty: all.
using EntryNames = std::function<bool(std::string_view name)>;

// The entries of a folder ("." and ".." left out), in the order the system
// gives them. False when the folder cannot be listed (lastFileError() tells
// why), also when listing stops part way.
bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries, FolderLink link = FolderLink::Refused,
                const EntryNames& wanted = {});

// A folder held open to look at many of its files by name: the path to it
// is walked once, not for every file (where the system offers that; on
// Windows every look walks the whole path). A file's stamp is fileStamp's:
// none for a link, folder, FIFO or device at the name, or for nothing.
// Looks go to the folder that was at the path when it was opened.
class HeldFolder {
 public:
  explicit HeldFolder(std::string path);
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  FileStamp stamp(const std::string& name) const;
  // Looks at these files ahead, on a second thread, while the caller goes
  // on. A later stamp() of one of them, asked in this order (names left out
  // are passed over), takes that look when it has been made, and looks
  // itself when it has not. Where the system offers no such look (Windows),
  // nothing is done ahead.
  void lookAhead(std::vector<std::string> names);

 private:
  struct Ahead;
  std::string path_;
  int handle_ = -1;
  std::unique_ptr<Ahead> ahead_;
};

// Renames a file within one volume, never over an existing file (false
// then, and on any other failure).
bool moveFileNoReplace(const std::string& from, const std::string& to);

}  // namespace nfy::platform
