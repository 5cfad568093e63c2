#include <windows.h>

#include "support/scratch_registry.h"

namespace nfy::test {

void setTestEnv(const std::string& name, const std::string* value) {
  SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

}  // namespace nfy::test
