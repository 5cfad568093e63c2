#include "platform/component.h"
#include "platform/component_testing.h"

namespace nfy::platform::component {
namespace {
Factory& testFactory() {
  static Factory f;
  return f;
}
Availability& testAvailability() {
  static Availability a;
  return a;
}
}  // namespace

void setAvailabilityForTesting(Availability availability) { testAvailability() = std::move(availability); }

std::optional<bool> builtInAvailable(const std::string& progId) {
  if (testAvailability()) return testAvailability()(progId);
  if (testFactory()) return std::nullopt;
  return builtInAvailableNative(progId);
}

void prepare(const std::string& progId) {
  if (testAvailability() || testFactory()) return;
  prepareNative(progId);
}

void setFactoryForTesting(Factory factory) { testFactory() = std::move(factory); }

std::unique_ptr<Object> create(const std::string& progId) {
  if (testFactory()) return testFactory()(progId);
  return createNative(progId);
}

}  // namespace nfy::platform::component
