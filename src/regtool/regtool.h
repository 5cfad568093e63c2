// nfyDeskReg: the administrator's command line over clsRegistryAccess.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace nfy::regtool {

// The usage text that --help prints and bad usage shows.
extern const char* const kUsage;

// Runs one command (the arguments after the program name). Results go to
// out, one per line; errors to err. Returns the exit status: 0 success (for
// key-exists and value-exists: it exists), 1 a failure or "no", 2 bad usage
// or bad input. The class's log lines go wherever the log writer sends them.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace nfy::regtool
