// nfyInbox on Windows: a list view of the messages and a read-only edit
// control with the open one. One viewer per user session: a second start
// brings the open window to the front and ends.
#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "viewer/inbox_model.h"
#include "viewer/inbox_setup.h"

namespace nfy::viewer {
namespace {

constexpr wchar_t kClass[] = L"nfyInboxWindow";
constexpr UINT_PTR kReloadTimer = 1;
constexpr UINT kReloadDelayMs = 150;
enum : int { kList = 101, kSubject, kMeta, kConfirm, kStatus, kBody, kEmpty };

// The model's text is in the system's ANSI code page.
std::wstring wide(const std::string& text) {
  if (text.empty()) return L"";
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// An edit control breaks lines at CR LF only.
std::wstring editText(const std::string& text) { return wide(replaceAll(text, "\n", "\r\n")); }

struct Window {
  HWND wnd = nullptr, list = nullptr, subject = nullptr, meta = nullptr, confirm = nullptr, status = nullptr,
       body = nullptr, empty = nullptr;
  HFONT font = nullptr, bold = nullptr, big = nullptr;
  InboxModel model;
  bool installed = false;
  std::vector<std::string> ids;  // message id of each list item
  std::string opened;
};
Window view;

std::string fromLine(const Message& m) {
  return m.sender.empty()     ? m.received
         : m.received.empty() ? "From " + m.sender
                              : "From " + m.sender + "  -  " + m.received;
}

HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0) {
  HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, view.wnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(view.font), TRUE);
  return h;
}

void layout() {
  RECT r;
  GetClientRect(view.wnd, &r);
  int w = r.right, h = r.bottom, left = w * 11 / 20, x = left + 12, rw = w - x - 12;
  MoveWindow(view.list, 0, 0, left, h, TRUE);
  MoveWindow(view.empty, 0, h / 3, left, h / 3, TRUE);
  MoveWindow(view.subject, x, 12, rw, 28, TRUE);
  MoveWindow(view.meta, x, 42, rw, 20, TRUE);
  bool actions = IsWindowVisible(view.confirm) || GetWindowTextLengthW(view.status) > 0;
  MoveWindow(view.confirm, x, 68, 110, 28, TRUE);
  MoveWindow(view.status, x + (IsWindowVisible(view.confirm) ? 122 : 0), 74, rw - 122, 20, TRUE);
  int top = actions ? 104 : 68;
  MoveWindow(view.body, x, top, rw, h - top - 12, TRUE);
}

std::string selectedId() {
  int i = ListView_GetNextItem(view.list, -1, LVNI_SELECTED);
  return i >= 0 && i < static_cast<int>(view.ids.size()) ? view.ids[static_cast<size_t>(i)] : std::string();
}

void setItemText(int item, int column, const std::string& text) {
  std::wstring w = wide(text);
  ListView_SetItemText(view.list, item, column, w.data());
}

void fillList() {
  std::string selected = selectedId();
  SendMessageW(view.list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(view.list);
  view.ids.clear();
  int select = 0;
  for (const Message& m : view.model.messages()) {
    int i = static_cast<int>(view.ids.size());
    std::wstring subject = wide(m.subject.empty() ? "(no subject)" : m.subject);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = subject.data();
    ListView_InsertItem(view.list, &item);
    setItemText(i, 1, m.sender);
    setItemText(i, 2, m.received);
    setItemText(i, 3, m.awaitsConfirmation ? texts::kAwaits : "");
    view.ids.push_back(m.id);
    if (m.id == selected) select = i;
  }
  if (!view.ids.empty()) {
    ListView_SetItemState(view.list, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(view.list, select, FALSE);
  }
  SendMessageW(view.list, WM_SETREDRAW, TRUE, 0);
  ShowWindow(view.list, view.ids.empty() ? SW_HIDE : SW_SHOW);
  ShowWindow(view.empty, view.ids.empty() ? SW_SHOW : SW_HIDE);
}

void showOpened() {
  const Message* m = view.opened.empty() ? nullptr : view.model.find(view.opened);
  if (!m) {
    view.opened.clear();
    SetWindowTextW(view.subject, view.ids.empty() ? L"" : wide(texts::kNothingOpen).c_str());
    SetWindowTextW(view.meta, L"");
    SetWindowTextW(view.body, L"");
    ShowWindow(view.confirm, SW_HIDE);
    SetWindowTextW(view.status, L"");
  } else {
    SetWindowTextW(view.subject, wide(m->subject.empty() ? "(no subject)" : m->subject).c_str());
    SetWindowTextW(view.meta, wide(fromLine(*m)).c_str());
    SetWindowTextW(view.body, editText(view.model.body(m->id)).c_str());
    ShowWindow(view.confirm, m->awaitsConfirmation ? SW_SHOW : SW_HIDE);
  }
  ShowWindow(view.body, m ? SW_SHOW : SW_HIDE);
  layout();
}

void open(const std::string& id) {
  if (id.empty()) return;
  view.opened = id;
  SetWindowTextW(view.status, L"");
  if (!view.model.markRead(id)) SetWindowTextW(view.status, L"This message could not be marked as read.");
  fillList();
  showOpened();
}

void confirm() {
  if (view.opened.empty()) return;
  const char* said = "";
  switch (view.model.confirm(view.opened)) {
    case ConfirmResult::Confirmed: said = texts::kConfirmed; break;
    case ConfirmResult::NotSent: said = texts::kNotSent; break;
    case ConfirmResult::NotAwaiting: break;
  }
  SetWindowTextW(view.status, wide(said).c_str());
  fillList();
  showOpened();
  // Back to the list, so that the arrows go on moving through it.
  if (!view.ids.empty()) SetFocus(view.list);
}

void reload() {
  if (view.model.reload()) {
    fillList();
    showOpened();
  }
}

void createChildren() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  view.font = CreateFontIndirectW(&metrics.lfMessageFont);
  LOGFONTW lf = metrics.lfMessageFont;
  lf.lfWeight = FW_BOLD;
  view.bold = CreateFontIndirectW(&lf);
  lf.lfHeight = lf.lfHeight * 3 / 2;
  view.big = CreateFontIndirectW(&lf);

  view.list =
      child(WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kList, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(view.list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const std::pair<const wchar_t*, int> columns[] = {{L"Subject", 168}, {L"From", 100}, {L"Received", 132}, {L"", 150}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<wchar_t*>(columns[i].first);
    c.cx = columns[i].second;
    ListView_InsertColumn(view.list, i, &c);
  }
  std::wstring empty = view.installed ? wide(std::string(texts::kEmptyTitle) + "\r\n\r\n" + texts::kEmptyDetail)
                                      : wide(texts::kNotInstalled);
  view.empty = child(L"STATIC", empty.c_str(), SS_CENTER, kEmpty);
  view.subject = child(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, kSubject);
  SendMessageW(view.subject, WM_SETFONT, reinterpret_cast<WPARAM>(view.big), TRUE);
  view.meta = child(L"STATIC", L"", SS_LEFTNOWORDWRAP, kMeta);
  view.confirm = child(L"BUTTON", L"&Confirm", WS_TABSTOP | BS_PUSHBUTTON, kConfirm);
  view.status = child(L"STATIC", L"", SS_LEFTNOWORDWRAP, kStatus);
  view.body = child(L"EDIT", L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kBody,
                    WS_EX_CLIENTEDGE);
}

// Unread messages in bold.
LRESULT drawItem(NMLVCUSTOMDRAW* draw) {
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    size_t i = draw->nmcd.dwItemSpec;
    const Message* m = i < view.ids.size() ? view.model.find(view.ids[i]) : nullptr;
    if (m && m->unread) {
      SelectObject(draw->nmcd.hdc, view.bold);
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

LRESULT CALLBACK windowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      view.wnd = wnd;
      createChildren();
      return 0;
    case WM_SIZE: layout(); return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->hwndFrom != view.list) break;
      if (hdr->code == NM_CUSTOMDRAW) return drawItem(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
      if (hdr->code == NM_DBLCLK || hdr->code == NM_RETURN) open(selectedId());
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == kConfirm && HIWORD(wp) == BN_CLICKED) confirm();
      if (LOWORD(wp) == IDCANCEL) DestroyWindow(wnd);
      return 0;
    case WM_TIMER:
      KillTimer(wnd, kReloadTimer);
      reload();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // The labels on the window's face colour; the status line in red.
      auto dc = reinterpret_cast<HDC>(wp);
      auto control = reinterpret_cast<HWND>(lp);
      if (control == view.body) {  // the read-only edit keeps a white page
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      SetTextColor(dc, control == view.status ? RGB(0xb3, 0x26, 0x1e) : GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

// Another viewer of this session owns the window: bring it to the front.
int handOver() {
  for (int i = 0; i < 50; ++i) {
    if (HWND other = FindWindowW(kClass, nullptr)) {
      ShowWindow(other, IsIconic(other) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(other);
      subWriteLog("MSG : nfyInbox : Already open, window brought to the front");
      return 0;
    }
    Sleep(100);
  }
  return 0;
}

// Keys that work wherever the focus is: Escape closes, Enter on the list
// opens the selected message.
bool handleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.wParam == VK_ESCAPE) {
    DestroyWindow(view.wnd);
    return true;
  }
  if (msg.wParam == VK_RETURN && msg.hwnd == view.list) {
    open(selectedId());
    return true;
  }
  return false;
}

int run() {
  view.installed = findInbox() == Setup::Ready;
  // One viewer per session ("Local\" names are per session).
  HANDLE one = CreateMutexW(nullptr, FALSE, L"Local\\nfyInbox");
  if (one && GetLastError() == ERROR_ALREADY_EXISTS) return handOver();

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_INFORMATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  std::wstring title = wide(view.installed ? windowTitle() : "Messages");
  HWND wnd = CreateWindowExW(WS_EX_CONTROLPARENT, kClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 1040, 600, nullptr, nullptr, wc.hInstance, nullptr);
  if (!wnd) return 1;
  if (view.installed) view.model.reload();
  fillList();
  showOpened();
  // The notifier starts the viewer hidden. The first ShowWindow of a process
  // takes the start's window style instead of its own; the second shows.
  ShowWindow(wnd, SW_SHOWNORMAL);
  ShowWindow(wnd, SW_SHOWNORMAL);
  SetForegroundWindow(wnd);
  SetFocus(view.ids.empty() ? wnd : view.list);

  // Follow the inbox folder: every change of the inbox renames a new file
  // over the old one, and a newer copy may appear beside it.
  std::string folder = sInboxINI_Read.substr(0, sInboxINI_Read.find_last_of('\\') + 1);
  HANDLE change = view.installed
                      ? FindFirstChangeNotificationW(
                            wide(folder).c_str(), FALSE,
                            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE)
                      : INVALID_HANDLE_VALUE;
  MSG msg;
  for (;;) {
    DWORD waited = change != INVALID_HANDLE_VALUE ? MsgWaitForMultipleObjects(1, &change, FALSE, INFINITE, QS_ALLINPUT)
                                                  : WAIT_OBJECT_0 + 1;
    if (waited == WAIT_OBJECT_0) {
      // A change comes as a burst: read once it has settled.
      SetTimer(wnd, kReloadTimer, kReloadDelayMs, nullptr);
      if (!FindNextChangeNotification(change)) {
        FindCloseChangeNotification(change);
        change = INVALID_HANDLE_VALUE;
      }
      continue;
    }
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      if (handleKey(msg) || IsDialogMessageW(wnd, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (quit) break;
    if (change == INVALID_HANDLE_VALUE) WaitMessage();
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
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
