#include <cstdlib>

#include "support/scratch_registry.h"

namespace nfy::test {

void setTestEnv(const std::string& name, const std::string* value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

}  // namespace nfy::test
