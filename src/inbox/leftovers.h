// What runs that were killed during a replace left behind: their temporary
// files beside the inbox, the body files and the saved reports.
#pragma once

namespace nfy {

// Removes the user's own temporary files of the store's replaces from the
// inbox folder, the messages folder and the saved-report folder. Only files
// of the store's temporary names are touched, and only while the inbox's
// lock is held (every such file is made under that lock, so none of them
// belongs to a replace that is still going on). Returns how many it removed.
// The messages folder holds a body per stored message (tens of thousands in
// a large inbox), so it is listed only when it may hold a leftover: a look
// that found none there, or removed every one, leaves a mark beside the
// inbox ("<inbox>.clean", the user's own file), and the next looks trust it.
int removeReplaceLeftovers();

// Before a body file is replaced: the mark goes first, and durably, so that
// a replace that never ends (a kill, a power cut) has the next run look in
// the messages folder again. A mark that cannot be removed is logged; the
// body is written all the same (a leftover is only a file too many).
void beforeBodyReplace();

}  // namespace nfy
