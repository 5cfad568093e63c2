#include "platform/component.h"
#include "platform/component_testing.h"

namespace nfy::platform::component {
namespace {
Factory& testFactory() {
  static Factory f;
  return f;
}
}  // namespace

void setFactoryForTesting(Factory factory) { testFactory() = std::move(factory); }

std::unique_ptr<Object> create(const std::string& progId) {
  if (testFactory()) return testFactory()(progId);
  return createNative(progId);
}

}  // namespace nfy::platform::component
