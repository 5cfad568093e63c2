// Entry and shutdown of a run.
#pragma once

namespace nfy {

// The run: start-up, template check, summary reset, template, message flow.
void Main();

// Writes "MSG : Application Ended.", releases the log and ends the run by
// throwing RunEnded, which only the process entry catches.
[[noreturn]] void subEndApplication();

// The process entry: runs `run` (Main, or another program's run) and turns
// RunEnded into a normal return.
int runProcess(void (*run)() = Main);

}  // namespace nfy
