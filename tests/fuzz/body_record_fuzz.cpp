// The record of the body files' stamps, read from a file beside the inbox:
// whatever it holds, the parse ends without raising, and takes only the
// text that formatting its result gives back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "inbox/body_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<nfy::BodyRecord> record = nfy::parseBodyRecord(text);
  if (record && nfy::formatBodyRecord(*record) != text) std::abort();
  if (record && nfy::parseBodyRecord(nfy::formatBodyRecord(*record)) != record) std::abort();
  return 0;
}
