// Where the viewer finds the inbox: the agent's key, the data folder, the
// user, the per-user inbox and the file to read, the body files and the
// template's title, found the way the notifier finds them, but without the
// notifier's side effects (an identifier that is not usable only means that
// a confirmation cannot be sent; nothing is registered).
#pragma once

#include <string>

namespace nfy::viewer {

enum class Setup { Ready, NotInstalled };

// Fills the run-control globals and opens the viewer's own log
// ("nfyInbox_..." in the program's log folder). NotInstalled when the agent's
// installation folder is missing: then nothing is written anywhere.
Setup findInbox();

// The window title: the template's inbox title, unless it is blank or the
// notifier's default notification text.
std::string windowTitle();

}  // namespace nfy::viewer
