#include "platform/system.h"
#include "platform/system_testing.h"

namespace nfy::platform {
namespace {
MessageBoxHook& testHook() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void setMessageBoxForTesting(MessageBoxHook hook) { testHook() = std::move(hook); }

void messageBox(const std::string& text, const std::string& title, unsigned style) {
  if (testHook()) return testHook()(text, title, style);
  nativeMessageBox(text, title, style);
}

}  // namespace nfy::platform
