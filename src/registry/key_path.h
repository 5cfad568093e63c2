// Registry paths of the registry class: a root name in long or short form
// ("HKEY_LOCAL_MACHINE" or "HKLM"), a backslash and the subkey path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace nfy::registry {

// Splits a path. A long root name at the start of the path is rewritten to
// its short form in the caller's copy (any letter case); the root is then
// the first four characters upper-cased (the whole path when it has no
// backslash) and the subkey everything after the first backslash. A root
// that is no known name gives the handle 0.
platform::reg::Key parseKeyPath(std::string& path, std::string& subKey);

// The path with its short root name written in long form, for registration
// files ("HKLM\SOFTWARE" -> "HKEY_LOCAL_MACHINE\SOFTWARE").
std::string longRootForm(std::string_view path);

// The key that a path addresses, as parseKeyPath reads it: the root's handle
// (0 for none) and the names of the subkey path, empty names (doubled or
// trailing backslashes) left out, as the registry leaves them out.
struct KeyAddress {
  platform::reg::Key root = 0;
  std::vector<std::string> names;
  // The long root name and the names ("HKEY_LOCAL_MACHINE\SOFTWARE").
  std::string text() const;
};
KeyAddress addressOf(std::string_view path);

// True for the system keys that must never be deleted (the software,
// hardware, SAM, security and system keys of the local machine, the
// Microsoft software key, and the local-machine root that holds them),
// judged on the key that the path addresses (whatever follows the four
// letters of a short root name, any case, extra backslashes) and on the
// path trimmed of blanks.
bool isProtectedKey(std::string_view path);

}  // namespace nfy::registry
