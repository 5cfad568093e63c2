// Starting other programs: the general launcher, the inbox viewer and the
// silent registration of a component file.
#pragma once

#include <string>

namespace nfy {

void fncExecuteShell(const std::string& command, bool hidden);
// Starts the inbox viewer (or tells the user it is missing) and ends the run;
// returns only when an error was trapped.
void fncExecuteMsgInbox();
void fncRegisterDLL(const std::string& filePath);

}  // namespace nfy
