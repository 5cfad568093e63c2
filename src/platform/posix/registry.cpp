// Placeholder until the file-backed registry store lands: every key is missing.
#include "platform/registry.h"

namespace nfy::platform::reg {

long openKey(Key, const std::string&, uint32_t, Key& out) { return out = 0, kFileNotFound; }
long createKey(Key, const std::string&, uint32_t, Key& out) { return out = 0, kAccessDenied; }
long closeKey(Key) { return kSuccess; }
long deleteKey(Key, const std::string&, uint32_t) { return kFileNotFound; }
long queryValue(Key, const std::string&, uint32_t*, unsigned char*, uint32_t*) { return kFileNotFound; }
long setValue(Key, const std::string&, uint32_t, const unsigned char*, uint32_t) { return kAccessDenied; }
long deleteValue(Key, const std::string&) { return kFileNotFound; }
long enumKey(Key, uint32_t, std::string&) { return kNoMoreItems; }
long enumValue(Key, uint32_t, std::string&, uint32_t&, std::vector<unsigned char>&) { return kNoMoreItems; }

}  // namespace nfy::platform::reg
