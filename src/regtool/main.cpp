// nfyDeskReg entry: the class's log lines go to standard error.
#include <iostream>

#include "app/log.h"
#include "regtool/regtool.h"

int main(int argc, char** argv) {
  nfy::setLogSink([](const std::string& message) { std::cerr << message << '\n'; });
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = nfy::regtool::run(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
