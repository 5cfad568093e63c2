#include "registry/key_path.h"

#include <array>
#include <vector>

#include "base/text.h"

namespace nfy::registry {
namespace {

namespace reg = platform::reg;

struct Root {
  const char* longName;
  const char* shortName;
  reg::Key key;
};

constexpr std::array<Root, 7> kRoots{{
    {"HKEY_CURRENT_USER", "HKCU", reg::kCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", reg::kLocalMachine},
    {"HKEY_CLASSES_ROOT", "HKCR", reg::kClassesRoot},
    {"HKEY_USERS", "HKUS", reg::kUsers},
    {"HKEY_PERFORMANCE_DATA", "HKPD", reg::kPerformanceData},
    {"HKEY_DYN_DATA", "HKDD", reg::kDynData},
    {"HKEY_CURRENT_CONFIG", "HKCC", reg::kCurrentConfig},
}};

// The first component of a path, up to its first backslash.
std::string_view firstComponent(std::string_view path) { return path.substr(0, path.find('\\')); }

}  // namespace

reg::Key parseKeyPath(std::string& path, std::string& subKey) {
  // Only the root component is rewritten: a subkey whose name happens to
  // contain a root name must keep it, or another key would be addressed.
  std::string_view first = firstComponent(path);
  for (const Root& r : kRoots) {
    if (iequals(first, r.longName)) {
      path = r.shortName + path.substr(first.size());
      break;
    }
  }
  std::string root;
  size_t slash = path.find('\\');
  if (slash != std::string::npos) {
    root = toUpper(path.substr(0, 4));
    subKey = path.substr(slash + 1);
  } else {
    root = toUpper(path);
    subKey.clear();
  }
  for (const Root& r : kRoots) {
    if (root == r.shortName) return r.key;
  }
  return 0;
}

std::string longRootForm(std::string_view path) {
  std::string_view first = firstComponent(path);
  for (const Root& r : kRoots) {
    if (iequals(first, r.shortName)) return r.longName + std::string(path.substr(first.size()));
  }
  return std::string(path);
}

bool isProtectedKey(std::string_view path) {
  // Compare the names only: trimmed, upper case, short root, no empty names.
  std::vector<std::string> names;
  std::string upper = toUpper(trim(path));
  for (size_t pos = 0; pos <= upper.size();) {
    size_t next = upper.find('\\', pos);
    if (next == std::string::npos) next = upper.size();
    std::string name = upper.substr(pos, next - pos);
    if (!name.empty()) names.push_back(std::move(name));
    pos = next + 1;
  }
  if (names.empty() || (names[0] != "HKEY_LOCAL_MACHINE" && names[0] != "HKLM")) return false;
  if (names.size() == 1) return true;
  static const std::array<const char*, 5> kTopLevel{"SOFTWARE", "HARDWARE", "SAM", "SECURITY", "SYSTEM"};
  if (names.size() == 2) {
    for (const char* k : kTopLevel) {
      if (names[1] == k) return true;
    }
    return false;
  }
  return names.size() == 3 && names[1] == "SOFTWARE" && names[2] == "MICROSOFT";
}

}  // namespace nfy::registry
