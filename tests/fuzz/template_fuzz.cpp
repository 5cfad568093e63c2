// The communicator template, read from a file as a run reads it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/globals.h"
#include "bridges/desk_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("nfy-template-fuzz-" + std::to_string(::getpid()) + ".xml")).string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  nfy::resetRunGlobals();
  nfy::fncParseDeskTemplateXML(path);
  std::remove(path.c_str());
  return 0;
}
