#include "platform/new_file.h"

#include <windows.h>

#include "platform/win32/append_stream.h"

namespace nfy::platform {

std::FILE* createNewFile(const std::string& path, NewFile) {
  // CREATE_NEW fails on any name that exists, a link included; a link is
  // never followed, as it is opened as itself. The file takes its access
  // rights from the folder.
  return appendStreamOf(CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace nfy::platform
