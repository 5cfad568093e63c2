// Placeholder until the components land: nothing can be created yet.
#include "platform/component.h"

#include "app/errors.h"

namespace nfy::platform::component {

std::unique_ptr<Object> createNative(const std::string&) { raiseError(err::kCannotCreateObject); }

}  // namespace nfy::platform::component
