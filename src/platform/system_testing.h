// Unit tests replace the message box, which waits for a user, behind this seam.
#pragma once

#include <functional>
#include <string>

namespace nfy::platform {

using MessageBoxHook = std::function<void(const std::string& text, const std::string& title, unsigned style)>;

// Installs a function that messageBox() calls instead of the platform's own;
// an empty function restores the platform's own.
void setMessageBoxForTesting(MessageBoxHook hook);

}  // namespace nfy::platform
