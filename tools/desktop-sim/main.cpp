// desktop-sim: a scripted notification server for a private session bus.
// It owns org.freedesktop.Notifications, records every notification it is
// asked to show, and answers each one the same way (click, ok, dismiss,
// expire or ignore) after a short delay, as a user or the desktop would.
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>

#include "../common/options.h"
#include "../common/record_line.h"

namespace {

enum class Answer { click, ok, dismiss, expire, ignore };

struct Options {
  Answer answer = Answer::ignore;
  bool answerGiven = false;
  long long delayMs = 200;
  std::string record;
};

const sim::Usage kUsage{"desktop-sim",
                        "usage: desktop-sim --answer click|ok|dismiss|expire|ignore [--delay-ms N] [--record FILE]\n"};

Options parseOptions(int argc, char** argv) {
  Options o;
  sim::forEachOption(argc, argv, kUsage, [&](const std::string& a, const std::string& v) -> std::string {
    long long n = 0;
    if (a == "--answer") {
      o.answerGiven = true;
      return sim::choose(
                 v,
                 {std::pair{"click", Answer::click}, std::pair{"ok", Answer::ok}, std::pair{"dismiss", Answer::dismiss},
                  std::pair{"expire", Answer::expire}, std::pair{"ignore", Answer::ignore}},
                 o.answer)
                 ? ""
                 : "unknown answer: " + v;
    }
    if (a == "--delay-ms") return sim::parseNumber(v, 0, 86400000, n) ? (o.delayMs = n, "") : "bad delay: " + v;
    if (a == "--record") return o.record = v, "";
    return "unknown option: " + a;
  });
  if (!o.answerGiven) kUsage.error("--answer is required");
  return o;
}

const char kIntrospection[] =
    "<node>"
    " <interface name='org.freedesktop.Notifications'>"
    "  <method name='GetCapabilities'><arg type='as' name='caps' direction='out'/></method>"
    "  <method name='Notify'>"
    "   <arg type='s' name='app_name' direction='in'/>"
    "   <arg type='u' name='replaces_id' direction='in'/>"
    "   <arg type='s' name='app_icon' direction='in'/>"
    "   <arg type='s' name='summary' direction='in'/>"
    "   <arg type='s' name='body' direction='in'/>"
    "   <arg type='as' name='actions' direction='in'/>"
    "   <arg type='a{sv}' name='hints' direction='in'/>"
    "   <arg type='i' name='expire_timeout' direction='in'/>"
    "   <arg type='u' name='id' direction='out'/>"
    "  </method>"
    "  <method name='CloseNotification'><arg type='u' name='id' direction='in'/></method>"
    "  <method name='GetServerInformation'>"
    "   <arg type='s' name='name' direction='out'/>"
    "   <arg type='s' name='vendor' direction='out'/>"
    "   <arg type='s' name='version' direction='out'/>"
    "   <arg type='s' name='spec_version' direction='out'/>"
    "  </method>"
    "  <signal name='NotificationClosed'><arg type='u' name='id'/><arg type='u' name='reason'/></signal>"
    "  <signal name='ActionInvoked'><arg type='u' name='id'/><arg type='s' name='action_key'/></signal>"
    " </interface>"
    "</node>";

const char kPath[] = "/org/freedesktop/Notifications";
const char kInterface[] = "org.freedesktop.Notifications";

struct Server {
  Options opt;
  GMainLoop* loop = nullptr;
  GDBusConnection* conn = nullptr;
  guint nextId = 1;
  std::set<guint> open;  // notifications shown and not yet closed
  int exitCode = 0;
};

struct Pending {
  Server* server;
  guint id;
};

void emit(Server* s, const char* signal, GVariant* params) {
  GError* error = nullptr;
  if (!g_dbus_connection_emit_signal(s->conn, nullptr, kPath, kInterface, signal, params, &error)) {
    std::cerr << "desktop-sim: cannot emit " << signal << ": " << error->message << "\n";
    g_error_free(error);
  }
}

void closeNotification(Server* s, guint id, guint reason) {
  if (s->open.erase(id) == 0) return;
  emit(s, "NotificationClosed", g_variant_new("(uu)", id, reason));
}

gboolean answerLater(gpointer data) {
  auto* p = static_cast<Pending*>(data);
  Server* s = p->server;
  guint id = p->id;
  if (s->open.count(id)) {
    switch (s->opt.answer) {
      case Answer::click:
        emit(s, "ActionInvoked", g_variant_new("(us)", id, "default"));
        closeNotification(s, id, 2);
        break;
      case Answer::ok:
        emit(s, "ActionInvoked", g_variant_new("(us)", id, "ok"));
        closeNotification(s, id, 2);
        break;
      case Answer::dismiss: closeNotification(s, id, 2); break;
      case Answer::expire: closeNotification(s, id, 1); break;
      case Answer::ignore: break;
    }
  }
  return G_SOURCE_REMOVE;
}

std::string joinActions(GVariant* actions) {
  std::string out;
  GVariantIter it;
  g_variant_iter_init(&it, actions);
  const gchar* a = nullptr;
  bool first = true;
  while (g_variant_iter_next(&it, "&s", &a)) {
    if (!first) out += ',';
    out += a;
    first = false;
  }
  return out;
}

void onMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* params,
              GDBusMethodInvocation* inv, gpointer data) {
  auto* s = static_cast<Server*>(data);
  std::string m = method;
  if (m == "GetCapabilities") {
    const gchar* caps[] = {"actions", "body", nullptr};
    g_dbus_method_invocation_return_value(inv, g_variant_new("(^as)", caps));
  } else if (m == "GetServerInformation") {
    g_dbus_method_invocation_return_value(inv, g_variant_new("(ssss)", "desktop-sim", "nfyDesk", "1.0", "1.2"));
  } else if (m == "Notify") {
    const gchar *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    guint replaces = 0;
    gint timeout = 0;
    GVariant* actions = nullptr;
    GVariant* hints = nullptr;
    g_variant_get(params, "(&su&s&s&s@as@a{sv}i)", &app, &replaces, &icon, &summary, &body, &actions, &hints, &timeout);
    std::string line = sim::recordLine({app, summary, body, joinActions(actions), std::to_string(timeout)});
    g_variant_unref(actions);
    g_variant_unref(hints);
    sim::appendRecord(s->opt.record, line);

    guint id = (replaces != 0 && s->open.count(replaces)) ? replaces : s->nextId++;
    s->open.insert(id);
    g_dbus_method_invocation_return_value(inv, g_variant_new("(u)", id));
    g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(s->opt.delayMs), answerLater, new Pending{s, id},
                       [](gpointer p) { delete static_cast<Pending*>(p); });
  } else if (m == "CloseNotification") {
    guint id = 0;
    g_variant_get(params, "(u)", &id);
    g_dbus_method_invocation_return_value(inv, nullptr);
    closeNotification(s, id, 3);
  } else {
    g_dbus_method_invocation_return_error(inv, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s", method);
  }
}

const GDBusInterfaceVTable kVtable = {onMethod, nullptr, nullptr, {}};

void onBusAcquired(GDBusConnection* conn, const gchar*, gpointer data) {
  auto* s = static_cast<Server*>(data);
  s->conn = conn;
  GError* error = nullptr;
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, &error);
  if (node) {
    g_dbus_connection_register_object(conn, kPath, node->interfaces[0], &kVtable, s, nullptr, &error);
    g_dbus_node_info_unref(node);
  }
  if (error) {
    std::cerr << "desktop-sim: cannot serve " << kPath << ": " << error->message << "\n";
    g_error_free(error);
    s->exitCode = 1;
    g_main_loop_quit(s->loop);
  }
}

void onNameAcquired(GDBusConnection*, const gchar*, gpointer) { std::cout << "desktop-sim ready" << std::endl; }

void onNameLost(GDBusConnection* conn, const gchar* name, gpointer data) {
  auto* s = static_cast<Server*>(data);
  if (!conn)
    std::cerr << "desktop-sim: no session bus (is DBUS_SESSION_BUS_ADDRESS set? run inside dbus-run-session)\n";
  else
    std::cerr << "desktop-sim: the name " << name << " is owned by someone else\n";
  s->exitCode = 1;
  g_main_loop_quit(s->loop);
}

gboolean onStopSignal(gpointer data) {
  g_main_loop_quit(static_cast<Server*>(data)->loop);
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  Server s;
  s.opt = parseOptions(argc, argv);
  s.loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(SIGTERM, onStopSignal, &s);
  g_unix_signal_add(SIGINT, onStopSignal, &s);
  guint owner = g_bus_own_name(G_BUS_TYPE_SESSION, kInterface, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, onBusAcquired,
                               onNameAcquired, onNameLost, &s, nullptr);
  g_main_loop_run(s.loop);
  g_bus_unown_name(owner);
  g_main_loop_unref(s.loop);
  return s.exitCode;
}
