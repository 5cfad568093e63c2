// Starting another program without waiting for it.
#pragma once

#include <string>

namespace nfy::platform {

enum class WindowStyle { Hidden = 0, Normal = 1 };

// Starts the command line as a new process and returns its process id.
// Raises run-time error 53 when the program file cannot be found and 70 when
// it may not be run; other failures raise 5 "Invalid procedure call".
// The command line's first word is the program; on Linux the words are split
// at blanks, honouring double quotes.
unsigned long startProcess(const std::string& commandLine, WindowStyle style);

// Whether "regsvr32" registration exists on this platform. Where it does not,
// the registration procedures keep their log lines and start nothing.
bool hasComRegistration();

}  // namespace nfy::platform
