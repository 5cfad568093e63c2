// File-system helpers (the program's file-system object).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/file_ops.h"

namespace nfy::files {

bool folderExists(const std::string& path);
bool fileExists(const std::string& path);

// Creates one folder level. A folder that exists already (another instance
// created it a moment ago) is not an error. Raises 76 "Path not found" when
// the parent is missing and 70 "Permission denied" when creation is refused.
void createFolder(const std::string& path);

struct Entry {
  std::string name;
  std::tm modified;  // local time
  bool own;          // of the running user's own
};
// The regular files of a folder (no folders, links, FIFOs or devices), in
// directory order; a link at the folder's own name is followed. Raises 70
// when listing is refused and 76 when the folder cannot be listed.
std::vector<Entry> listFiles(const std::string& folder);

// Replaces (or creates, with `mode`) a file with exactly these bytes the
// way the inbox is written: a new file beside it, flushed, renamed over the
// old one, the folder flushed. On failure the old file (or none) stays and
// the temporary file is gone. Raises 76 when the folder is missing, 70 when
// the file may not be written (also when it belongs to another user), and
// otherwise the error the system gave, with its own text ("No space left on
// device").
void writeWholeFile(const std::string& path, const std::string& bytes, platform::NewFile mode);

// Raises the last failure of a platform file call as a run-time error
// carrying the system's own text.
[[noreturn]] void raiseLastFileError();

// Deletes a file; raises 53 when it does not exist and 70 when refused.
void deleteFile(const std::string& path);

}  // namespace nfy::files
