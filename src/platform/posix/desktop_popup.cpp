#include "platform/posix/desktop_popup.h"

#include <gio/gio.h>
#include <libnotify/notify.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/errors.h"
#include "platform/posix/popup_object.h"

namespace nfy::platform::component {
namespace {

const char kService[] = "org.freedesktop.Notifications";
const int kBusCallTimeoutMs = 5000;

GDBusConnection* connectSessionBus() {
  GError* error = nullptr;
  GDBusConnection* c = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!c) {
    g_error_free(error);
    return nullptr;
  }
  // A bus that goes away must not end the process (GLib's default for this
  // connection), only the popup that is up.
  g_dbus_connection_set_exit_on_close(c, FALSE);
  return c;
}

// A connection being made ahead on a thread of its own. Never freed: the
// thread is not waited for when the run ends without a popup.
struct BusAhead {
  std::mutex m;
  std::condition_variable cv;
  bool started = false;
  bool done = false;
  GDBusConnection* made = nullptr;
};

BusAhead& busAhead() {
  static BusAhead* a = new BusAhead;
  return *a;
}

// The connection made ahead, waited for if it is still being made; null
// when none was started or it could not be made. Taken once.
GDBusConnection* takeMadeAhead() {
  BusAhead& a = busAhead();
  std::unique_lock lock(a.m);
  if (!a.started) return nullptr;
  a.cv.wait(lock, [&] { return a.done; });
  a.started = false;
  return std::exchange(a.made, nullptr);
}

GDBusConnection*& heldBus() {
  static GDBusConnection* bus = nullptr;
  return bus;
}

// The process's session bus connection, kept for the life of the process so
// that libnotify shares it.
GDBusConnection* sessionBus() {
  GDBusConnection*& bus = heldBus();
  if (GDBusConnection* c = takeMadeAhead()) {
    if (bus) g_object_unref(bus);
    bus = c;
  }
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address) return nullptr;
  if (bus && !g_dbus_connection_is_closed(bus)) return bus;
  GDBusConnection* c = connectSessionBus();
  if (!c) return nullptr;
  if (bus) g_object_unref(bus);
  bus = c;
  return bus;
}

GVariant* busCall(GDBusConnection* bus, const char* method, GVariant* params) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                     method, params, nullptr, G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr,
                                     nullptr);
}

bool serverHasCapability(const char* cap) {
  bool found = false;
  GList* caps = notify_get_server_caps();
  for (GList* l = caps; l; l = l->next)
    if (std::strcmp(static_cast<const char*>(l->data), cap) == 0) found = true;
  g_list_free_full(caps, g_free);
  return found;
}

struct Wait {
  GMainLoop* loop = nullptr;
  NotifyNotification* notification = nullptr;
  std::string answer;
  bool done = false;

  void finish(const char* a, bool closeIt) {
    if (done) return;
    done = true;
    answer = a;
    if (closeIt) notify_notification_close(notification, nullptr);  // may already be gone
    g_main_loop_quit(loop);
  }
};

void onAction(NotifyNotification*, char* action, gpointer data) {
  static_cast<Wait*>(data)->finish(std::strcmp(action, "ok") == 0 ? "OKCLICK" : "CLICK", true);
}

void onClosed(NotifyNotification* n, gpointer data) {
  // 1 expired, 2 dismissed by the user, 3 closed through the bus.
  int reason = notify_notification_get_closed_reason(n);
  static_cast<Wait*>(data)->finish(reason == 1 || reason == 3 ? "AUTOCLOSE" : "EXIT", false);
}

gboolean onTimeUp(gpointer data) {
  static_cast<Wait*>(data)->finish("AUTOCLOSE", true);
  return G_SOURCE_REMOVE;
}

void onBusClosed(GDBusConnection*, gboolean, GError*, gpointer data) {
  static_cast<Wait*>(data)->finish("AUTOCLOSE", false);
}

void onServerGone(GDBusConnection*, const gchar*, gpointer data) {
  static_cast<Wait*>(data)->finish("AUTOCLOSE", false);
}

class DesktopPopup : public PopupObject {
 protected:
  std::string show(const PopupSettings& s) override {
    GDBusConnection* bus = sessionBus();
    if (!bus || !(notify_is_initted() || notify_init("nfyDeskNotify")))
      throw RuntimeError(err::kAutomation, "Automation error: no notification service");

    // Bus events that arrived while no loop ran (such as the notification
    // server having been restarted) are handled first, so that libnotify
    // talks to the current server.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    // The bus carries UTF-8 only: bytes of another encoding are shown as
    // replacement characters instead of failing the call. Servers that speak
    // markup would read "<" or "&" in the body as markup.
    gchar* header = g_utf8_make_valid(s.header.data(), static_cast<gssize>(s.header.size()));
    gchar* text = g_utf8_make_valid(s.body.data(), static_cast<gssize>(s.body.size()));
    // Text that escaping leaves as it is reads the same with or without
    // markup: the server is asked only when the two differ.
    gchar* body = g_markup_escape_text(text, -1);
    if (std::strcmp(body, text) != 0 && !serverHasCapability("body-markup")) {
      g_free(body);
      body = g_strdup(text);
    }
    Wait wait;
    wait.notification = notify_notification_new(header, body, "mail-message-new");
    g_free(header);
    g_free(text);
    g_free(body);
    NotifyNotification* n = wait.notification;
    notify_notification_set_timeout(n, s.offersOk() ? NOTIFY_EXPIRES_NEVER : static_cast<int>(s.displaySeconds) * 1000);
    // A message that awaits confirmation stays up until the user acts.
    if (s.offersOk()) notify_notification_set_urgency(n, NOTIFY_URGENCY_CRITICAL);
    notify_notification_add_action(n, "default", "Open", onAction, &wait, nullptr);
    if (s.offersOk()) notify_notification_add_action(n, "ok", "OK", onAction, &wait, nullptr);
    gulong closedHandler = g_signal_connect(n, "closed", G_CALLBACK(onClosed), &wait);
    gulong busHandler = g_signal_connect(bus, "closed", G_CALLBACK(onBusClosed), &wait);

    wait.loop = g_main_loop_new(nullptr, FALSE);
    GError* error = nullptr;
    guint timer = 0, watch = 0;
    if (notify_notification_show(n, &error)) {
      timer = g_timeout_add(static_cast<guint>(s.waitSeconds()) * 1000u, onTimeUp, &wait);
      // A notification server that quits or crashes never closes the
      // notification; without this a popup awaiting confirmation would
      // hold the run until the time cap.
      watch = g_bus_watch_name_on_connection(bus, kService, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr, onServerGone, &wait,
                                             nullptr);
      g_main_loop_run(wait.loop);
    }
    if (watch) g_bus_unwatch_name(watch);

    // The timer removes itself when it fires; otherwise it is still pending.
    if (GSource* src = timer ? g_main_context_find_source_by_id(nullptr, timer) : nullptr) g_source_destroy(src);
    g_signal_handler_disconnect(bus, busHandler);
    g_signal_handler_disconnect(n, closedHandler);
    notify_notification_clear_actions(n);
    g_object_unref(n);
    g_main_loop_unref(wait.loop);
    if (error) {
      std::string what = std::string("Automation error: cannot show the notification: ") + error->message;
      g_error_free(error);
      throw RuntimeError(err::kAutomation, what);
    }
    return wait.answer;
  }
};

}  // namespace

bool notificationServiceAvailable() {
  GDBusConnection* bus = sessionBus();
  if (!bus) return false;
  bool available = false;
  if (GVariant* r = busCall(bus, "NameHasOwner", g_variant_new("(s)", kService))) {
    gboolean owned = FALSE;
    g_variant_get(r, "(b)", &owned);
    available = owned;
    g_variant_unref(r);
  }
  if (!available) {
    if (GVariant* r = busCall(bus, "ListActivatableNames", nullptr)) {
      GVariantIter* it = nullptr;
      const gchar* name = nullptr;
      g_variant_get(r, "(as)", &it);
      while (g_variant_iter_next(it, "&s", &name))
        if (std::strcmp(name, kService) == 0) available = true;
      g_variant_iter_free(it);
      g_variant_unref(r);
    }
  }
  return available;
}

void prepareSessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address) return;
  BusAhead& a = busAhead();
  {
    std::lock_guard lock(a.m);
    GDBusConnection* bus = heldBus();
    if (a.started || (bus && !g_dbus_connection_is_closed(bus))) return;
    a.started = true;
    a.done = false;
  }
  try {
    std::thread([&a] {
      GDBusConnection* c = connectSessionBus();
      std::lock_guard lock(a.m);
      a.made = c;
      a.done = true;
      a.cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the popup connects when it is shown, as without this.
    std::lock_guard lock(a.m);
    a.started = false;
  }
}

std::unique_ptr<Object> createDesktopPopup() { return std::make_unique<DesktopPopup>(); }

}  // namespace nfy::platform::component
