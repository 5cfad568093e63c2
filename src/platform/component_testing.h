// Unit tests replace the components with fakes behind this seam.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/component.h"

namespace nfy::platform::component {

using Factory = std::function<std::unique_ptr<Object>(const std::string& progId)>;

// Installs a factory that create() uses instead of the platform's own;
// an empty function restores the platform's own.
void setFactoryForTesting(Factory factory);

// Replaces builtInAvailable(); an empty function restores the platform's
// own, which answers empty while a test factory is installed.
using Availability = std::function<std::optional<bool>(const std::string& progId)>;
void setAvailabilityForTesting(Availability availability);

}  // namespace nfy::platform::component
