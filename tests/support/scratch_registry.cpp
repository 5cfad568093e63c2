#include "support/scratch_registry.h"

#include <atomic>
#include <chrono>

#include "platform/registry.h"

namespace nfy::test {
namespace {

namespace reg = platform::reg;

// Deletes a key and its subkeys through the platform layer, so that the
// clean-up does not depend on the class under test.
void deleteTree(reg::Key root, const std::string& path) {
  reg::Key key = 0;
  if (reg::openKey(root, path, reg::kAllAccess, key) != reg::kSuccess) return;
  std::string name;
  std::vector<std::string> names;
  for (uint32_t i = 0; reg::enumKey(key, i, name) == reg::kSuccess; ++i) names.push_back(name);
  reg::closeKey(key);
  for (const auto& n : names) deleteTree(root, path + "\\" + n);
  reg::deleteKey(root, path, 0);
}

}  // namespace

ScratchRegistry::ScratchRegistry(const Sandbox& box) {
  static std::atomic<int> counter{0};
  std::string folder = box.path("registry");
  setTestEnv("NFY_REGISTRY_ROOT", &folder);
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  base_ = "HKCU\\Software\\nfyDeskTests\\" + std::to_string(stamp) + "_" + std::to_string(counter++);
}

ScratchRegistry::~ScratchRegistry() {
  deleteTree(reg::kCurrentUser, base_.substr(5));
  setTestEnv("NFY_REGISTRY_ROOT", nullptr);
}

}  // namespace nfy::test
