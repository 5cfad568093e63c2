// The floor of the run-cost benchmark: the least a run must do for its
// work. A process (linked like the notifier, so that it starts the same
// way) that posts the request to the provider's URL with libcurl (as the web
// poster does: POST, content type text/xml), then either
// - reads the inbox once (an idle poll: nothing to store), or
// - writes the new messages' body files, each flushed, flushes their folder
//   once, and replaces the inbox once with its final text (temporary file,
//   flushed, renamed, folder flushed);
// and, with "popup" at the end, then shows one notification on the session
// bus and waits until it is closed, as a run that tells the user of unread
// messages does.
//
//   run_floor <url> <request body> <inbox> idle [popup]
//   run_floor <url> <request body> <inbox> <final inbox text> <messages folder> <bodies> [popup]
#include <curl/curl.h>
#include <fcntl.h>
#include <libnotify/notify.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_ops.h"

namespace {

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

bool post(const char* url, const char* body) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();
  std::string reply;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK) std::fprintf(stderr, "post failed: %s\n", curl_easy_strerror(rc));
  return rc == CURLE_OK;
}

bool readWhole(const std::string& path, std::string& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return true;
}

bool writeFlushed(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool flushFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

// One notification with an action, shown until the server closes it.
bool popup() {
  if (!notify_init("run_floor")) return false;
  NotifyNotification* n = notify_notification_new("New messages", "You have unread messages.", nullptr);
  notify_notification_add_action(
      n, "default", "Open", [](NotifyNotification*, char*, gpointer) {}, nullptr, nullptr);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect_swapped(n, "closed", G_CALLBACK(g_main_loop_quit), loop);
  const bool shown = notify_notification_show(n, nullptr);
  if (shown) g_main_loop_run(loop);
  g_main_loop_unref(loop);
  g_object_unref(n);
  return shown;
}

bool storeOnce(char** argv) {
  std::string inbox;
  if (!readWhole(argv[4], inbox)) return false;
  const std::string folder = argv[5];
  const std::string body = "Body of a message.\rSecond line.";
  for (int m = 0, n = std::atoi(argv[6]); m < n; ++m) {
    if (!writeFlushed(folder + "/floor-" + std::to_string(m) + ".dat", body)) return false;
  }
  if (!flushFolder(folder)) return false;
  nfy::platform::FileStamp stamp;
  return nfy::platform::replaceFileWith(argv[3], inbox, stamp, 2000);
}

}  // namespace

int main(int argc, char** argv) {
  const bool withPopup = argc > 1 && std::string(argv[argc - 1]) == "popup";
  if (withPopup) --argc;
  const bool idle = argc == 5 && std::string(argv[4]) == "idle";
  if (!idle && argc != 7) {
    std::fprintf(stderr,
                 "usage: run_floor <url> <request body> <inbox> idle [popup]\n"
                 "       run_floor <url> <request body> <inbox> <final inbox text> <messages folder> <bodies> "
                 "[popup]\n");
    return 2;
  }
  if (!post(argv[1], argv[2])) return 1;
  if (idle) {
    std::string inbox;
    (void)readWhole(argv[3], inbox);  // an empty inbox may be no file yet
  } else if (!storeOnce(argv)) {
    return 1;
  }
  return !withPopup || popup() ? 0 : 1;
}
