// System error texts: the description the system gives for an error code.
#pragma once

#include <string>

namespace nfy {

// "<code>-<text>" with the system's text for code (without its closing line
// break); the bare code when the system has no text for it.
std::string fncFormatMessage(long code);

}  // namespace nfy
