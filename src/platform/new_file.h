// A file created new, written through the one handle that created it: never
// over a file that exists, never through a symbolic link (dangling or not)
// planted at its name, and never opened by name a second time, so that
// nothing can be swapped in between the check and the writes. Linux:
// O_CREAT|O_EXCL|O_NOFOLLOW; Windows: CREATE_NEW, a link opened as itself.
#pragma once

#include <cstdio>
#include <string>

#include "platform/file_ops.h"

namespace nfy::platform {

// Creates the file, readable as `mode` says, and opens it for appending as
// a stream that started programs do not inherit. Other processes may open
// it meanwhile (a log that other runs append to). nullptr when anything
// stands at `path` already or it cannot be created.
std::FILE* createNewFile(const std::string& path, NewFile mode);

}  // namespace nfy::platform
