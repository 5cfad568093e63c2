// Command-line handling shared by the simulators: "--name value" pairs,
// --help, and a usage error that ends the program with status 2.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <string>
#include <utility>

namespace sim {

struct Usage {
  const char* program;
  const char* text;

  [[noreturn]] void error(const std::string& what) const {
    std::cerr << program << ": " << what << "\n" << text;
    std::exit(2);
  }
};

// Calls handle(name, value) for every pair; handle returns an error text, or
// "" when it took the option.
template <typename Handle>
void forEachOption(int argc, char** argv, const Usage& usage, Handle handle) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::cout << usage.text;
      std::exit(0);
    }
    if (i + 1 >= argc) usage.error("missing value for " + name);
    std::string problem = handle(name, std::string(argv[++i]));
    if (!problem.empty()) usage.error(problem);
  }
}

// The choice named `value`; false when there is none of that name.
template <typename T>
bool choose(const std::string& value, std::initializer_list<std::pair<const char*, T>> choices, T& out) {
  for (const auto& [name, choice] : choices) {
    if (value == name) return out = choice, true;
  }
  return false;
}

}  // namespace sim
