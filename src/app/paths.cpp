#include "app/paths.h"

#include <filesystem>

namespace nfy::paths {

bool isAbsolute(const std::string& path) { return !path.empty() && std::filesystem::path(path).is_absolute(); }

}  // namespace nfy::paths
