#include "platform/posix/web_poster.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>

#include "platform/posix/component_args.h"

namespace nfy::platform::component {
namespace {

constexpr long kMaxRedirects = 5;

long long envLimit(const char* name, long long fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  long long n = 0;
  for (const char* p = v; *p; ++p) {
    if (*p < '0' || *p > '9' || n > fallback) return fallback;
    n = n * 10 + (*p - '0');
  }
  return (n > 0 && n < fallback) ? n : fallback;
}

// URLs are built by concatenation without escaping, so a blank or a
// non-ASCII byte in an identifier can reach us; curl refuses such URLs, a
// browser escapes them. Escape them here so the request still goes out.
std::string escapeUrl(const std::string& url) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Sink {
  std::string data;
  int64_t cap;
  CURL* handle = nullptr;
  bool overflow = false;
  bool sized = false;
};

size_t onData(char* ptr, size_t size, size_t nmemb, void* userdata) {
  auto* sink = static_cast<Sink*>(userdata);
  size_t n = size * nmemb;
  if (static_cast<int64_t>(sink->data.size() + n) > sink->cap) {
    sink->overflow = true;
    return 0;  // makes curl stop with a write error
  }
  // A reply that says its length (within the cap) gets its room at once,
  // not by doubling as it arrives: a large reply is not copied on the way.
  if (!sink->sized) {
    sink->sized = true;
    curl_off_t length = -1;
    if (curl_easy_getinfo(sink->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0 &&
        length <= sink->cap)
      sink->data.reserve(static_cast<size_t>(length));
  }
  sink->data.append(ptr, n);
  return n;
}

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string tooLarge(int64_t cap) { return "reply larger than " + std::to_string(cap) + " bytes"; }

class WebPoster : public Object {
 public:
  Value call(const std::string& member, std::vector<Arg>& args) override {
    if (!isMember(member, "PostXMLString")) raiseError(err::kNoSuchMember);
    if (args.size() != 9) raiseWrongArgumentCount();
    std::string url = argText(args[2]);
    PostResult r = postXml(argText(args[0]), url, effectivePostLimits());
    setArg(args[5], r.ok ? std::move(r.reply) : std::string());
    setArg(args[6], r.ok ? "" : r.error);
    setArg(args[7], r.ok ? "" : std::to_string(r.status));
    setArg(args[8], r.ok ? "" : url);
    return Value(r.ok);
  }
  void put(const std::string&, const Value&) override { raiseError(err::kNoSuchMember); }
  Value get(const std::string&) override { raiseError(err::kNoSuchMember); }
};

}  // namespace

PostLimits effectivePostLimits() {
  PostLimits l;
  l.connectTimeoutMs = static_cast<long>(envLimit("NFY_WEBPOST_CONNECT_TIMEOUT_MS", l.connectTimeoutMs));
  l.timeoutMs = static_cast<long>(envLimit("NFY_WEBPOST_TIMEOUT_MS", l.timeoutMs));
  l.maxReplyBytes = envLimit("NFY_WEBPOST_MAX_REPLY_BYTES", l.maxReplyBytes);
  return l;
}

PostResult postXml(const std::string& data, const std::string& rawUrl, const PostLimits& limits) {
  PostResult r;
  std::string url = escapeUrl(std::string(trim(rawUrl)));
  if (url.empty()) {
    r.error = "no URL to post to";
    return r;
  }
  globalInit();
  CURL* h = curl_easy_init();
  if (!h) {
    r.error = "cannot start a web transfer";
    return r;
  }
  const bool secure = iequals(url.substr(0, 8), "https://");
  char errbuf[CURL_ERROR_SIZE] = "";
  Sink sink{{}, limits.maxReplyBytes, h};
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  headers = curl_slist_append(headers, "Expect:");  // no 100-continue round trip

  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(h, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.timeoutMs);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxReplyBytes));
  curl_easy_setopt(h, CURLOPT_USERAGENT, "nfyDeskNotify");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, data.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(data.size()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onData);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);

  CURLcode rc = curl_easy_perform(h);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &r.status);
  if (rc == CURLE_FILESIZE_EXCEEDED || sink.overflow) {
    r.error = tooLarge(limits.maxReplyBytes);
  } else if (rc != CURLE_OK) {
    r.error = *errbuf ? errbuf : curl_easy_strerror(rc);
  } else if (r.status < 200 || r.status > 299) {
    r.error = "HTTP status " + std::to_string(r.status);
  } else {
    r.ok = true;
    r.reply = std::move(sink.data);
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(h);
  return r;
}

std::unique_ptr<Object> createWebPoster() { return std::make_unique<WebPoster>(); }

}  // namespace nfy::platform::component
