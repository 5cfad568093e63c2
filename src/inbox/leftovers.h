// What runs that were killed during a replace left behind: their temporary
// files beside the inbox, the body files and the saved reports.
#pragma once

namespace nfy {

// Removes the user's own temporary files of the store's replaces from the
// inbox folder, the messages folder and the saved-report folder. Only files
// of the store's temporary names are touched, and only while the inbox's
// lock is held (every such file is made under that lock, so none of them
// belongs to a replace that is still going on). Returns how many it removed.
int removeReplaceLeftovers();

}  // namespace nfy
