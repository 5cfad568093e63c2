#include "app/paths.h"

#include <filesystem>

namespace nfy::paths {

// A path from the root of a drive ("\x" on Windows) counts too: it never
// depends on the folder the process happens to run in.
bool isAbsolute(const std::string& path) {
  return !path.empty() && std::filesystem::path(path).has_root_directory();
}

}  // namespace nfy::paths
