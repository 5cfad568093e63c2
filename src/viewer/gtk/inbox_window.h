// The inbox window on Linux (GTK 4): the message list on the left, the open
// message on the right, an empty state when there is nothing to show.
#pragma once

#include <giomm/filemonitor.h>
#include <gtkmm.h>

#include <string>
#include <vector>

#include "viewer/inbox_model.h"

namespace nfy::viewer {

class InboxWindow : public Gtk::ApplicationWindow {
 public:
  explicit InboxWindow(bool installed);

 private:
  void fillList();
  void open(const std::string& id);
  void showOpened();
  void confirm();
  void followInbox();
  void inboxChanged();

  InboxModel model_;
  bool installed_;
  std::vector<std::string> rowIds_;  // message id of each list row
  std::string opened_;               // the message shown on the right

  Gtk::Paned paned_{Gtk::Orientation::HORIZONTAL};
  Gtk::Stack listStack_;
  Gtk::ScrolledWindow listScroll_;
  Gtk::ListBox list_;
  Gtk::Box empty_{Gtk::Orientation::VERTICAL, 8};
  Gtk::Label emptyTitle_, emptyDetail_;

  Gtk::Box reader_{Gtk::Orientation::VERTICAL, 6};
  Gtk::Label subject_, meta_, status_;
  Gtk::Box actions_{Gtk::Orientation::HORIZONTAL, 12};
  Gtk::Button confirm_;
  Gtk::ScrolledWindow bodyScroll_;
  Gtk::TextView body_;

  Glib::RefPtr<Gio::FileMonitor> monitor_;
  sigc::connection pendingReload_;
};

}  // namespace nfy::viewer
