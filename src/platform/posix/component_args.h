// Helpers shared by the Linux components: member names compared as
// automation does (without regard to case) and arguments read and written
// through their references.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/text.h"
#include "platform/component.h"

namespace nfy::platform::component {

inline bool isMember(const std::string& name, const char* member) { return iequals(name, member); }

// The text of an argument: the caller's string when passed by reference.
inline std::string argText(const Arg& a) { return a.ref ? *a.ref : a.value.toString(); }

// Writes a result into a by-reference argument; by-value arguments cannot
// carry a result back and are left alone. Taken by value and moved into the
// caller's string: a reply of megabytes is copied once, for the value.
inline void setArg(Arg& a, std::string s) {
  a.value = Value(s);
  if (a.ref) *a.ref = std::move(s);
}

// Automation's error for a call with the wrong number of arguments.
[[noreturn]] inline void raiseWrongArgumentCount() {
  throw RuntimeError(450, "Wrong number of arguments or invalid property assignment");
}

}  // namespace nfy::platform::component
