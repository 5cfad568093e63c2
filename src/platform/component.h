// Late-bound components created by ProgID and used by member name only.
// Windows: COM (CLSIDFromProgID, CoCreateInstance, IDispatch). Linux: the
// program's own in-process implementations of the agent's components
// ("nfyPoster.WebPost" on libcurl, "nfyToast.Display" as a desktop
// notification).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace nfy::platform::component {

// An automation value: empty, boolean, 16-bit or 32-bit integer, or string.
struct Value {
  std::variant<std::monostate, bool, int16_t, int32_t, std::string> v;

  Value() = default;
  Value(bool b) : v(b) {}
  Value(int16_t i) : v(i) {}
  Value(int32_t i) : v(i) {}
  Value(std::string s) : v(std::move(s)) {}
  Value(const char* s) : v(std::string(s)) {}

  // Conversions as automation does them; raise error 13 when impossible
  // (a string other than "True"/"False" or a number to a boolean).
  bool toBool() const;
  std::string toString() const;
};

// One argument: a value passed by value, or a string passed by reference
// that the member may change.
struct Arg {
  Value value;
  std::string* ref = nullptr;
  static Arg byVal(Value v) { return Arg{std::move(v), nullptr}; }
  static Arg byRef(std::string& s) { return Arg{Value(s), &s}; }
};

class Object {
 public:
  virtual ~Object() = default;
  // Calls a method. Raises RuntimeError: 438 for an unknown member, the
  // component's own error, or the failing status as a negative number.
  virtual Value call(const std::string& member, std::vector<Arg>& args) = 0;
  virtual void put(const std::string& property, const Value& value) = 0;
  virtual Value get(const std::string& property) = 0;
};

// Creates the component registered under progId. Raises run-time error 429
// "ActiveX component can't create object" when it cannot be created.
// Uses the factory installed for tests when there is one, else createNative.
std::unique_ptr<Object> create(const std::string& progId);

// The platform's own creation (COM on Windows, in-process objects on Linux).
std::unique_ptr<Object> createNative(const std::string& progId);

// Whether progId is one of the platform's built-in components and, if so,
// whether it can be used now (Linux: the popup needs a notification service
// or a terminal). Empty for a component that is an outside file registered
// with the system (always so on Windows, and for the fakes of unit tests):
// the caller then looks for its file.
std::optional<bool> builtInAvailable(const std::string& progId);
std::optional<bool> builtInAvailableNative(const std::string& progId);

// Starts, without waiting for it, what using progId later will need where
// that can be got ready ahead (Linux: the popup's session bus connection,
// made while the run waits for the service). Nothing for other components,
// on Windows, or with the fakes of unit tests.
void prepare(const std::string& progId);
void prepareNative(const std::string& progId);

}  // namespace nfy::platform::component
