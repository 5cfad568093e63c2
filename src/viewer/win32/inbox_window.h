// The inbox window on Windows: a list view of the messages on the left, the
// open message on the right in a read-only edit control, an empty state when
// there is nothing to show. The window follows the inbox folder and reads the
// inbox again when it changes.
#pragma once

#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>

#include <string>
#include <vector>

#include "viewer/inbox_model.h"

namespace nfy::viewer {

class InboxWindow {
 public:
  explicit InboxWindow(bool installed);
  InboxWindow(const InboxWindow&) = delete;
  InboxWindow& operator=(const InboxWindow&) = delete;

  // Creates the window, reads the inbox into it and shows it in front.
  // False when the window could not be created.
  bool create();

  // Runs the window until it is closed.
  void run();

  // Brings the window of another viewer of this session to the front. False
  // when there is none (yet).
  static bool bringOpenToFront();

 private:
  static LRESULT CALLBACK windowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  bool handleKey(const MSG& msg);
  LRESULT drawItem(NMLVCUSTOMDRAW* draw);

  HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0);
  void createChildren();
  void layout();
  std::string selectedId() const;
  void setItemText(int item, int column, const std::string& text);
  void fillList();
  void showOpened();
  void open(const std::string& id);
  void confirm();
  void reload();

  InboxModel model_;
  bool installed_;
  std::vector<std::string> ids_;  // message id of each list item
  std::string opened_;            // the message shown on the right

  HWND wnd_ = nullptr, list_ = nullptr, subject_ = nullptr, meta_ = nullptr, confirm_ = nullptr, status_ = nullptr,
       body_ = nullptr, empty_ = nullptr;
  HFONT font_ = nullptr, bold_ = nullptr, big_ = nullptr;
};

}  // namespace nfy::viewer
