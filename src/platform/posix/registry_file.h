// The registry store's files: one REGEDIT4 text file per root key
// ("HKEY_LOCAL_MACHINE.reg") in the store folder. Readers see either the old
// or the new file, never a half-written one: a change is written to a
// temporary file and renamed over the old one, under a lock that makes
// concurrent writers (other processes too) take turns.
#pragma once

#include <functional>
#include <string>

#include "platform/posix/registry_tree.h"

namespace nfy::platform::reg::store {

// $NFY_REGISTRY_ROOT when set and not empty, else the system default.
std::string storeFolder();

// Reads the root's file into tree (an empty tree when there is no file).
// Returns 0, 5 when the file cannot be read, or kBadFormat when it is not a
// well-formed store file.
long load(const std::string& rootName, Node& tree);

// Applies change to the root's current contents under the root's lock. When
// change returns 0 and sets its flag, the new contents replace the file.
// Returns change's status, or the status of reading or writing the file
// (5 when the folder or file may not be written).
long update(const std::string& rootName, const std::function<long(Node& tree, bool& changed)>& change);

}  // namespace nfy::platform::reg::store
