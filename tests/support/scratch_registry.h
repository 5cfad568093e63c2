// A registry key of the test's own, removed with everything below it when
// the test ends. On Linux the store lives in the test's sandbox; under Wine
// the key lies in the real registry of the prefix.
#pragma once

#include <string>

#include "support/sandbox.h"

namespace nfy::test {

class ScratchRegistry {
 public:
  explicit ScratchRegistry(const Sandbox& box);
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;
  // "HKCU\Software\nfyDeskTests\<unique>", not yet created.
  const std::string& base() const { return base_; }

 private:
  std::string base_;
};

// Sets (value given) or removes an environment variable of this process.
void setTestEnv(const std::string& name, const std::string* value);

}  // namespace nfy::test
