// The registry store file: any text is read or refused; a tree that was
// read is written so that it reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/posix/registry_tree.h"

namespace store = nfy::platform::reg::store;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  store::Node root;
  if (!store::parse(text, "HKEY_LOCAL_MACHINE", root)) return 0;
  std::string first = store::serialize(root, "HKEY_LOCAL_MACHINE");
  store::Node again;
  if (!store::parse(first, "HKEY_LOCAL_MACHINE", again)) std::abort();
  if (store::serialize(again, "HKEY_LOCAL_MACHINE") != first) std::abort();
  return 0;
}
