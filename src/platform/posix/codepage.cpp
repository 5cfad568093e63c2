#include "platform/codepage.h"

namespace nfy::platform {

// The program's strings are UTF-8 here already.
std::string ansiToUtf8(std::string_view text) { return std::string(text); }
std::string utf8ToAnsi(std::string_view text) { return std::string(text); }

}  // namespace nfy::platform
