#include "registry/key_path.h"

#include <algorithm>
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

std::string KeyAddress::text() const {
  std::string out;
  for (const Root& r : kRoots) {
    if (r.key == root) out = r.longName;
  }
  for (const std::string& name : names) out += "\\" + name;
  return out;
}

KeyAddress addressOf(std::string_view path) {
  KeyAddress a;
  std::string copy(path), subKey;
  a.root = parseKeyPath(copy, subKey);
  for (size_t pos = 0; pos <= subKey.size();) {
    size_t next = subKey.find('\\', pos);
    if (next == std::string::npos) next = subKey.size();
    if (next > pos) a.names.push_back(subKey.substr(pos, next - pos));
    pos = next + 1;
  }
  return a;
}

bool isProtectedKey(std::string_view path) {
  auto isProtected = [](const KeyAddress& a) {
    if (a.root != reg::kLocalMachine) return false;
    std::vector<std::string> names;
    for (const std::string& n : a.names) names.push_back(toUpper(n));
    if (names.empty()) return true;
    static const std::array<const char*, 5> kTopLevel{"SOFTWARE", "HARDWARE", "SAM", "SECURITY", "SYSTEM"};
    if (names.size() == 1) return std::find(kTopLevel.begin(), kTopLevel.end(), names[0]) != kTopLevel.end();
    return names.size() == 2 && names[0] == "SOFTWARE" && names[1] == "MICROSOFT";
  };
  // The key the members would address, and the trimmed text as the guard
  // has always read it.
  return isProtected(addressOf(path)) || isProtected(addressOf(trim(path)));
}

}  // namespace nfy::registry
