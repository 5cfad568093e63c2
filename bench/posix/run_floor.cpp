// The floor of the run-time benchmark: the least a run that stores n new
// messages must do. Posts the request to the provider's URL with libcurl (as
// the web poster does: POST, content type text/xml) and then replaces a file
// n times, each a flushed replace of a file as large as the reply.
//
//   run_floor <url> <request body> <file> <messages>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_ops.h"

namespace {

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: run_floor <url> <request body> <file> <messages>\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();
  std::string reply;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, argv[2]);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK) {
    std::fprintf(stderr, "post failed: %s\n", curl_easy_strerror(rc));
    return 1;
  }
  for (int m = 0, n = std::atoi(argv[4]); m < n; ++m) {
    nfy::platform::FileStamp stamp;
    if (!nfy::platform::replaceFileWith(argv[3], reply, stamp, 2000)) return 1;
  }
  return 0;
}
