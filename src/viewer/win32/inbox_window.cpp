#include "viewer/win32/inbox_window.h"

#include <string_view>
#include <utility>

#include "app/globals.h"
#include "base/text.h"
#include "viewer/inbox_setup.h"

namespace nfy::viewer {
namespace {

constexpr wchar_t kClass[] = L"nfyInboxWindow";
constexpr UINT_PTR kReloadTimer = 1;
constexpr UINT kReloadDelayMs = 150;
enum : int { kList = 101, kSubject, kMeta, kConfirm, kStatus, kBody, kEmpty };

// The model's text is in the system's ANSI code page, where a middle dot has
// no fixed byte: the sender and the time apart by a hyphen, the same in all.
constexpr std::string_view kFromSeparator = "  -  ";

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

}  // namespace

InboxWindow::InboxWindow(bool installed) : installed_(installed) {}

bool InboxWindow::create() {
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
  std::wstring title = wide(installed_ ? windowTitle() : "Messages");
  // The window's procedure finds this object through the creation data.
  if (!CreateWindowExW(WS_EX_CONTROLPARENT, kClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                       1040, 600, nullptr, nullptr, wc.hInstance, this)) {
    return false;
  }
  if (installed_) model_.reload();
  fillList();
  showOpened();
  // The notifier starts the viewer hidden. The first ShowWindow of a process
  // takes the start's window style instead of its own; the second shows.
  ShowWindow(wnd_, SW_SHOWNORMAL);
  ShowWindow(wnd_, SW_SHOWNORMAL);
  SetForegroundWindow(wnd_);
  SetFocus(ids_.empty() ? wnd_ : list_);
  return true;
}

void InboxWindow::run() {
  // Follow the inbox folder: every change of the inbox renames a new file
  // over the old one, and a newer copy may appear beside it.
  std::string folder = sInboxINI_Read.substr(0, sInboxINI_Read.find_last_of('\\') + 1);
  HANDLE change = installed_ ? FindFirstChangeNotificationW(wide(folder).c_str(), FALSE,
                                                            FILE_NOTIFY_CHANGE_FILE_NAME |
                                                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE)
                             : INVALID_HANDLE_VALUE;
  MSG msg;
  for (;;) {
    DWORD waited = change != INVALID_HANDLE_VALUE ? MsgWaitForMultipleObjects(1, &change, FALSE, INFINITE, QS_ALLINPUT)
                                                  : WAIT_OBJECT_0 + 1;
    if (waited == WAIT_OBJECT_0) {
      // A change comes as a burst: read once it has settled.
      SetTimer(wnd_, kReloadTimer, kReloadDelayMs, nullptr);
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
      if (handleKey(msg) || IsDialogMessageW(wnd_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (quit) break;
    if (change == INVALID_HANDLE_VALUE) WaitMessage();
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
}

bool InboxWindow::bringOpenToFront() {
  HWND other = FindWindowW(kClass, nullptr);
  if (!other) return false;
  ShowWindow(other, IsIconic(other) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(other);
  return true;
}

LRESULT CALLBACK InboxWindow::windowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  // The object comes with the creation data and is kept with the window;
  // what comes before it goes to the default procedure.
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<InboxWindow*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  return self ? self->handle(wnd, msg, wp, lp) : DefWindowProcW(wnd, msg, wp, lp);
}

LRESULT InboxWindow::handle(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      wnd_ = wnd;
      createChildren();
      return 0;
    case WM_SIZE: layout(); return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->hwndFrom != list_) break;
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
      if (control == body_) {  // the read-only edit keeps a white page
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      SetTextColor(dc, control == status_ ? RGB(0xb3, 0x26, 0x1e) : GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

// Keys that work wherever the focus is: Escape closes, Enter on the list
// opens the selected message.
bool InboxWindow::handleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.wParam == VK_ESCAPE) {
    DestroyWindow(wnd_);
    return true;
  }
  if (msg.wParam == VK_RETURN && msg.hwnd == list_) {
    open(selectedId());
    return true;
  }
  return false;
}

// Unread messages in bold.
LRESULT InboxWindow::drawItem(NMLVCUSTOMDRAW* draw) {
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    size_t i = draw->nmcd.dwItemSpec;
    const Message* m = i < ids_.size() ? model_.find(ids_[i]) : nullptr;
    if (m && m->unread) {
      SelectObject(draw->nmcd.hdc, bold_);
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

HWND InboxWindow::child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle) {
  HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, wnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  return h;
}

void InboxWindow::createChildren() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  LOGFONTW lf = metrics.lfMessageFont;
  lf.lfWeight = FW_BOLD;
  bold_ = CreateFontIndirectW(&lf);
  lf.lfHeight = lf.lfHeight * 3 / 2;
  big_ = CreateFontIndirectW(&lf);

  list_ =
      child(WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kList, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const std::pair<const wchar_t*, int> columns[] = {{L"Subject", 168}, {L"From", 100}, {L"Received", 132}, {L"", 150}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<wchar_t*>(columns[i].first);
    c.cx = columns[i].second;
    ListView_InsertColumn(list_, i, &c);
  }
  std::wstring empty = installed_ ? wide(std::string(texts::kEmptyTitle) + "\r\n\r\n" + texts::kEmptyDetail)
                                  : wide(texts::kNotInstalled);
  empty_ = child(L"STATIC", empty.c_str(), SS_CENTER, kEmpty);
  subject_ = child(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, kSubject);
  SendMessageW(subject_, WM_SETFONT, reinterpret_cast<WPARAM>(big_), TRUE);
  meta_ = child(L"STATIC", L"", SS_LEFTNOWORDWRAP, kMeta);
  confirm_ = child(L"BUTTON", L"&Confirm", WS_TABSTOP | BS_PUSHBUTTON, kConfirm);
  // Wraps: the longest status takes two lines beside the button.
  status_ = child(L"STATIC", L"", SS_LEFT, kStatus);
  body_ = child(L"EDIT", L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kBody,
                WS_EX_CLIENTEDGE);
}

void InboxWindow::layout() {
  RECT r;
  GetClientRect(wnd_, &r);
  int w = r.right, h = r.bottom, left = w * 11 / 20, x = left + 12, rw = w - x - 12;
  MoveWindow(list_, 0, 0, left, h, TRUE);
  MoveWindow(empty_, 0, h / 3, left, h / 3, TRUE);
  MoveWindow(subject_, x, 12, rw, 28, TRUE);
  MoveWindow(meta_, x, 42, rw, 20, TRUE);
  bool actions = IsWindowVisible(confirm_) || GetWindowTextLengthW(status_) > 0;
  MoveWindow(confirm_, x, 68, 110, 28, TRUE);
  MoveWindow(status_, x + (IsWindowVisible(confirm_) ? 122 : 0), 68, rw - 122, 30, TRUE);
  int top = actions ? 104 : 68;
  MoveWindow(body_, x, top, rw, h - top - 12, TRUE);
}

std::string InboxWindow::selectedId() const {
  int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  return i >= 0 && i < static_cast<int>(ids_.size()) ? ids_[static_cast<size_t>(i)] : std::string();
}

void InboxWindow::setItemText(int item, int column, const std::string& text) {
  std::wstring w = wide(text);
  ListView_SetItemText(list_, item, column, w.data());
}

void InboxWindow::fillList() {
  std::string selected = selectedId();
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list_);
  ids_.clear();
  int select = 0;
  for (const Message& m : model_.messages()) {
    int i = static_cast<int>(ids_.size());
    std::wstring subject = wide(m.subject.empty() ? texts::kNoSubject : m.subject);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = subject.data();
    ListView_InsertItem(list_, &item);
    setItemText(i, 1, m.sender);
    setItemText(i, 2, m.received);
    setItemText(i, 3, m.awaitsConfirmation ? texts::kAwaits : "");
    ids_.push_back(m.id);
    if (m.id == selected) select = i;
  }
  if (!ids_.empty()) {
    ListView_SetItemState(list_, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, select, FALSE);
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  ShowWindow(list_, ids_.empty() ? SW_HIDE : SW_SHOW);
  ShowWindow(empty_, ids_.empty() ? SW_SHOW : SW_HIDE);
}

void InboxWindow::showOpened() {
  const Message* m = opened_.empty() ? nullptr : model_.find(opened_);
  if (!m) {
    opened_.clear();
    SetWindowTextW(subject_, ids_.empty() ? L"" : wide(texts::kNothingOpen).c_str());
    SetWindowTextW(meta_, L"");
    SetWindowTextW(body_, L"");
    ShowWindow(confirm_, SW_HIDE);
    SetWindowTextW(status_, L"");
  } else {
    SetWindowTextW(subject_, wide(m->subject.empty() ? texts::kNoSubject : m->subject).c_str());
    SetWindowTextW(meta_, wide(headerLine(*m, kFromSeparator)).c_str());
    SetWindowTextW(body_, editText(model_.body(m->id)).c_str());
    ShowWindow(confirm_, m->awaitsConfirmation ? SW_SHOW : SW_HIDE);
  }
  ShowWindow(body_, m ? SW_SHOW : SW_HIDE);
  layout();
}

void InboxWindow::open(const std::string& id) {
  if (id.empty()) return;
  opened_ = id;
  SetWindowTextW(status_, L"");
  if (!model_.markRead(id)) SetWindowTextW(status_, L"This message could not be marked as read.");
  fillList();
  showOpened();
}

void InboxWindow::confirm() {
  if (opened_.empty()) return;
  const char* said = "";
  switch (model_.confirm(opened_)) {
    case ConfirmResult::Confirmed: said = texts::kConfirmed; break;
    case ConfirmResult::NotSent: said = texts::kNotSent; break;
    case ConfirmResult::NotAwaiting: break;
  }
  SetWindowTextW(status_, wide(said).c_str());
  fillList();
  showOpened();
  // Back to the list, so that the arrows go on moving through it.
  if (!ids_.empty()) SetFocus(list_);
}

void InboxWindow::reload() {
  if (model_.reload()) {
    fillList();
    showOpened();
  }
}

}  // namespace nfy::viewer
