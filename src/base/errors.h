// Run-time errors and the end-of-run signal shared by every subsystem.
#pragma once

#include <stdexcept>
#include <string>

namespace nfy {

// A run-time error: a number and a description, as the procedures' error
// traps log them ("ERR : ..." + number + description).
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(long number, const std::string& description) : std::runtime_error(description), number_(number) {}
  long number() const noexcept { return number_; }
  std::string description() const { return what(); }

 private:
  long number_;
};

// Well-known error numbers with their standard descriptions.
namespace err {
constexpr long kOverflow = 6;
constexpr long kOutOfMemory = 7;
constexpr long kTypeMismatch = 13;
constexpr long kFileNotFound = 53;
constexpr long kFileAlreadyOpen = 55;
constexpr long kPermissionDenied = 70;
constexpr long kPathFileAccess = 75;
constexpr long kPathNotFound = 76;
constexpr long kObjectRequired = 424;
constexpr long kCannotCreateObject = 429;
constexpr long kNoSuchMember = 438;
constexpr long kAutomation = 440;
constexpr long kInternal = 51;
}  // namespace err

// The standard description of a well-known error number ("Type mismatch").
std::string errorDescription(long number);

// Throws RuntimeError(number, errorDescription(number)).
[[noreturn]] void raiseError(long number);

// The number and description that an error trap logs for any caught
// exception: RuntimeError keeps its own, std::bad_alloc is 7 "Out of memory",
// anything else 51 "Internal error" with its what() text.
struct TrappedError {
  long number;
  std::string description;
};
TrappedError trap(const std::exception& e);

// Runs one step of a procedure that ignores errors step by step: a failing
// step is skipped and the procedure goes on with the next one. The end of
// the run (RunEnded) still passes through.
template <typename F>
void ignoreErrors(F&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// Thrown by subEndApplication to end the run. Deliberately not derived from
// std::exception so that no procedure's error trap can catch it; only the
// process entry does.
struct RunEnded {};

}  // namespace nfy
