#include "viewer/gtk/inbox_window.h"

#include <filesystem>
#include <string_view>

#include "app/globals.h"
#include "viewer/inbox_setup.h"

namespace nfy::viewer {
namespace {

// GTK takes UTF-8 only: a stored text that is not (another program wrote
// it) is shown with its bad bytes replaced.
Glib::ustring shown(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  Glib::ustring out(valid);
  g_free(valid);
  return out;
}

Glib::ustring escaped(const std::string& text) { return Glib::Markup::escape_text(shown(text)); }

Gtk::Label* label(const Glib::ustring& markup, bool dim = false) {
  auto* l = Gtk::make_managed<Gtk::Label>();
  l->set_markup(markup);
  l->set_xalign(0);
  l->set_ellipsize(Pango::EllipsizeMode::END);
  if (dim) l->add_css_class("dim-label");
  return l;
}

// GTK's text is UTF-8: the sender and the time apart by a middle dot.
constexpr std::string_view kFromSeparator = "  \u00b7  ";

}  // namespace

InboxWindow::InboxWindow(bool installed) : installed_(installed) {
  set_title(installed ? windowTitle() : "Messages");
  set_default_size(880, 540);

  list_.set_selection_mode(Gtk::SelectionMode::SINGLE);
  list_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) {
    int i = row->get_index();
    if (i >= 0 && i < static_cast<int>(rowIds_.size())) open(rowIds_[i]);
  });
  listScroll_.set_child(list_);
  listScroll_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);

  emptyTitle_.set_markup("<span size='x-large' weight='bold'>" +
                         escaped(installed ? texts::kEmptyTitle : texts::kNotInstalled) + "</span>");
  emptyDetail_.set_text(installed ? texts::kEmptyDetail : "");
  emptyDetail_.add_css_class("dim-label");
  empty_.set_valign(Gtk::Align::CENTER);
  empty_.set_halign(Gtk::Align::CENTER);
  empty_.append(emptyTitle_);
  empty_.append(emptyDetail_);
  listStack_.add(listScroll_, "list");
  listStack_.add(empty_, "empty");

  subject_.set_xalign(0);
  subject_.set_wrap(true);
  meta_.set_xalign(0);
  meta_.add_css_class("dim-label");
  confirm_.set_label("_Confirm");
  confirm_.set_use_underline(true);
  confirm_.add_css_class("suggested-action");
  confirm_.signal_clicked().connect([this] { confirm(); });
  status_.set_xalign(0);
  status_.set_wrap(true);
  status_.set_hexpand(true);
  actions_.append(confirm_);
  actions_.append(status_);
  body_.set_editable(false);
  body_.set_cursor_visible(false);
  body_.set_wrap_mode(Gtk::WrapMode::WORD_CHAR);
  body_.set_left_margin(8);
  body_.set_right_margin(8);
  body_.set_top_margin(8);
  bodyScroll_.set_child(body_);
  bodyScroll_.set_vexpand(true);
  reader_.set_margin(12);
  reader_.append(subject_);
  reader_.append(meta_);
  reader_.append(actions_);
  reader_.append(bodyScroll_);

  paned_.set_start_child(listStack_);
  paned_.set_end_child(reader_);
  paned_.set_position(360);
  paned_.set_resize_start_child(false);
  set_child(paned_);

  // Escape closes the window wherever the focus is.
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint key, guint, Gdk::ModifierType) {
        if (key != GDK_KEY_Escape) return false;
        close();
        return true;
      },
      false);
  add_controller(keys);

  if (installed_) {
    model_.reload();
    followInbox();
  }
  fillList();
  showOpened();
  if (auto* first = list_.get_row_at_index(0)) {
    list_.select_row(*first);
    first->grab_focus();
  }
}

void InboxWindow::fillList() {
  std::string selected;
  if (auto* row = list_.get_selected_row(); row && row->get_index() < static_cast<int>(rowIds_.size())) {
    selected = rowIds_[row->get_index()];
  }
  Gtk::Widget* focus = get_focus();
  bool hadFocus = focus && (focus == &list_ || focus->is_ancestor(list_));
  while (auto* row = list_.get_row_at_index(0)) list_.remove(*row);
  rowIds_.clear();

  for (const Message& m : model_.messages()) {
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    box->set_margin(8);
    std::string subject = m.subject.empty() ? texts::kNoSubject : m.subject;
    box->append(*label(m.unread ? "<b>" + escaped(subject) + "</b>" : escaped(subject)));
    if (std::string from = fromLine(m, kFromSeparator); !from.empty()) box->append(*label(escaped(from), true));
    if (m.awaitsConfirmation) {
      box->append(*label("<span foreground='#b3261e' weight='bold'>" + escaped(texts::kAwaits) + "</span>"));
    }
    auto* row = Gtk::make_managed<Gtk::ListBoxRow>();
    row->set_child(*box);
    list_.append(*row);
    rowIds_.push_back(m.id);
  }
  listStack_.set_visible_child(rowIds_.empty() ? "empty" : "list");
  for (size_t i = 0; i < rowIds_.size(); ++i) {
    if (rowIds_[i] != selected) continue;
    auto* row = list_.get_row_at_index(static_cast<int>(i));
    list_.select_row(*row);
    if (hadFocus) row->grab_focus();
  }
}

void InboxWindow::open(const std::string& id) {
  opened_ = id;
  status_.set_text("");
  if (!model_.markRead(id)) status_.set_text("This message could not be marked as read.");
  fillList();
  showOpened();
}

void InboxWindow::showOpened() {
  const Message* m = opened_.empty() ? nullptr : model_.find(opened_);
  if (!m) {
    opened_.clear();
    subject_.set_markup(escaped(installed_ && !model_.messages().empty() ? texts::kNothingOpen : ""));
    meta_.set_text("");
    actions_.set_visible(false);
    body_.get_buffer()->set_text("");
    return;
  }
  std::string subject = m->subject.empty() ? texts::kNoSubject : m->subject;
  subject_.set_markup("<span size='large' weight='bold'>" + escaped(subject) + "</span>");
  meta_.set_text(shown(headerLine(*m, kFromSeparator)));
  confirm_.set_visible(m->awaitsConfirmation);
  actions_.set_visible(m->awaitsConfirmation || !status_.get_text().empty());
  body_.get_buffer()->set_text(shown(model_.body(m->id)));
}

void InboxWindow::confirm() {
  if (opened_.empty()) return;
  switch (model_.confirm(opened_)) {
    case ConfirmResult::Confirmed: status_.set_text(texts::kConfirmed); break;
    case ConfirmResult::NotSent: status_.set_text(texts::kNotSent); break;
    case ConfirmResult::NotAwaiting: status_.set_text(""); break;
  }
  fillList();
  showOpened();
}

void InboxWindow::followInbox() {
  // The folder, not the file: every change replaces the file by renaming a
  // new one over it, and a newer copy may appear beside it.
  std::string folder = std::filesystem::path(sInboxINI_Read).parent_path().string();
  try {
    monitor_ = Gio::File::create_for_path(folder)->monitor_directory();
    monitor_->signal_changed().connect([this](const Glib::RefPtr<Gio::File>&, const Glib::RefPtr<Gio::File>&,
                                              Gio::FileMonitor::Event) { inboxChanged(); });
  } catch (const Glib::Error&) {
    monitor_.reset();  // the list then stays as it was read
  }
}

void InboxWindow::inboxChanged() {
  // A change comes as a burst of events: read once it has settled.
  pendingReload_.disconnect();
  pendingReload_ = Glib::signal_timeout().connect(
      [this] {
        if (model_.reload()) {
          fillList();
          showOpened();
        }
        return false;
      },
      150);
}

}  // namespace nfy::viewer
