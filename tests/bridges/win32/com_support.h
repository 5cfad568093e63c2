// Helpers of the Windows component tests: the test components built beside
// the tests, their registration with the system's regsvr32, and the
// provider simulator of the Linux build started as a Unix process.
#pragma once

#include <string>

namespace nfy::test::com {

// Full Windows path of a test component built in this tree ("nfyToast.dll").
std::string builtComponent(const std::string& fileName);

// Runs "regsvr32 -s [-u] <path>" and waits for it; its exit code.
unsigned long regsvr32(const std::string& path, bool unregister = false);

// Whether HKCR\<progId>\CLSID exists, and the registered server file.
bool isRegistered(const std::string& progId);
std::string registeredServer(const std::string& progId);

// Two paths of the same file, whatever their case and drive form.
bool samePath(const std::string& a, const std::string& b);

// Waits (bounded) until the ProgID is registered; false when it never was.
bool awaitRegistration(const std::string& progId);

// The provider simulator, a Linux program that Wine starts as a Unix
// process. available() is false when it has not been built.
class ProviderSim {
 public:
  // `workDir` is a Windows folder (ending in "\") for its files.
  ProviderSim(const std::string& workDir, const std::string& messages);
  ~ProviderSim();
  ProviderSim(const ProviderSim&) = delete;
  ProviderSim& operator=(const ProviderSim&) = delete;

  bool available() const { return port_ != 0; }
  std::string baseUrl() const;  // "http://127.0.0.1:<port>/"
  std::string recorded() const;

 private:
  std::string workDir_;
  std::string pid_;
  int port_ = 0;
};

}  // namespace nfy::test::com
