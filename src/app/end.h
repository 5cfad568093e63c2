// Shutdown of a run, shared by every program.
#pragma once

namespace nfy {

// Writes "MSG : Application Ended.", releases the log and ends the run by
// throwing RunEnded, which only the process entry catches.
[[noreturn]] void subEndApplication();

// The process entry: runs `run` (the notifier's Main, or another program's
// run) and turns RunEnded into a normal return.
int runProcess(void (*run)());

}  // namespace nfy
