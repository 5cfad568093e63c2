// nfyInbox on Windows: one viewer per user session. A second start brings
// the open window to the front and ends.
#include <windows.h>

#include "app/log.h"
#include "base/errors.h"
#include "viewer/inbox_setup.h"
#include "viewer/win32/inbox_window.h"

namespace nfy::viewer {
namespace {

// Another viewer of this session owns the window: bring it to the front. Its
// window may not be there yet when both start at once.
int handOver() {
  for (int i = 0; i < 50; ++i) {
    if (InboxWindow::bringOpenToFront()) {
      subWriteLog("MSG : nfyInbox : Already open, window brought to the front");
      return 0;
    }
    Sleep(100);
  }
  return 0;
}

int run() {
  bool installed = findInbox() == Setup::Ready;
  // One viewer per session ("Local\" names are per session).
  HANDLE one = CreateMutexW(nullptr, FALSE, L"Local\\nfyInbox");
  if (one && GetLastError() == ERROR_ALREADY_EXISTS) return handOver();

  InboxWindow window(installed);
  if (!window.create()) return 1;
  window.run();
  subWriteLog("MSG : nfyInbox : Ended");
  closeLog();
  return 0;
}

}  // namespace
}  // namespace nfy::viewer

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The start's window style (nCmdShow) is not passed on: the notifier
  // starts the viewer hidden, and the window is shown all the same.
  try {
    return nfy::viewer::run();
  } catch (const nfy::RunEnded&) {
    return 0;
  }
}
