// The record of the last pass whose messages all stayed, read from a file
// beside the inbox: whatever it holds, the parse ends without raising, and
// takes only the text that formatting its result gives back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lifecycle/staying_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<nfy::StayingRecord> record = nfy::parseStayingRecord(text);
  if (record && nfy::formatStayingRecord(*record) != text) std::abort();
  if (record && nfy::parseStayingRecord(nfy::formatStayingRecord(*record)) != record) std::abort();
  return 0;
}
