// The registration files nfyDeskReg imports: any bytes give a result, never
// an exception, and a refused file names why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "regtool/reg_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto file = nfy::regtool::parseImportFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!file.ok && file.error.empty()) std::abort();
  if (!file.ok && !file.entries.empty()) std::abort();  // all or nothing
  return 0;
}
