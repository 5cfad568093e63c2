// The program's single-byte text against UTF-8 files: INI files that begin
// with a UTF-8 byte order mark hold UTF-8, while the program's strings are
// in the system's ANSI code page (on Linux, already UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace nfy::platform {

// ANSI code page text as UTF-8.
std::string ansiToUtf8(std::string_view text);
// UTF-8 as ANSI code page text; characters the code page lacks become "?".
std::string utf8ToAnsi(std::string_view text);

}  // namespace nfy::platform
