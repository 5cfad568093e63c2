// nfyInbox on Linux: one window per user session. A second start hands over
// to the running viewer, which comes to the front, and ends.
#include <gtkmm/application.h>

#include <memory>

#include "app/log.h"
#include "base/errors.h"
#include "viewer/gtk/inbox_window.h"
#include "viewer/inbox_setup.h"

int main(int, char** argv) {
  try {
    bool installed = nfy::viewer::findInbox() == nfy::viewer::Setup::Ready;
    auto app = Gtk::Application::create("org.nfydesk.Inbox");
    std::unique_ptr<nfy::viewer::InboxWindow> window;
    app->signal_activate().connect([&] {
      if (window) {
        nfy::subWriteLog("MSG : nfyInbox : Started again, window brought to the front");
        window->present();
        return;
      }
      window = std::make_unique<nfy::viewer::InboxWindow>(installed);
      app->add_window(*window);
      window->present();
    });
    // The viewer takes no arguments: only its name goes to GTK.
    int rc = app->run(1, argv);
    nfy::subWriteLog("MSG : nfyInbox : Ended");
    nfy::closeLog();
    return rc;
  } catch (const nfy::RunEnded&) {
    return 0;
  }
}
