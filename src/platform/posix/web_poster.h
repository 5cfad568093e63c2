// "nfyPoster.WebPost" on Linux: posts XML over HTTP or HTTPS with libcurl.
//
// Member "PostXMLString"(data, -, url, -, -, reply, error, status, where):
// posts argument 1 to the URL in argument 3 as "text/xml" and returns true
// with the reply in argument 6. Any failure (blank URL, a transport error,
// a status outside 200-299, a reply over the size cap) returns false with
// argument 7 a printable reason, argument 8 the HTTP status ("0" when no
// answer arrived) and argument 9 the URL. Network failures never raise.
//
// Limits: connect within 15 s, whole exchange within 60 s, reply at most
// 8 MiB. The service answers with a few kilobytes of XML, so these only stop
// a dead or runaway server from holding the run. Certificates and host names
// are always verified; only http and https are spoken, redirects are followed
// (at most 5) but never from https to http; proxies named in the environment
// are not used, as the agent's own poster does not use them either.
//
// For tests the limits can only be lowered through the environment:
// NFY_WEBPOST_CONNECT_TIMEOUT_MS, NFY_WEBPOST_TIMEOUT_MS and
// NFY_WEBPOST_MAX_REPLY_BYTES (whole positive numbers; anything else, or a
// value above the default, is ignored).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/component.h"

namespace nfy::platform::component {

struct PostLimits {
  long connectTimeoutMs = 15000;
  long timeoutMs = 60000;
  int64_t maxReplyBytes = 8 * 1024 * 1024;
};

// The defaults, lowered by the environment variables above.
PostLimits effectivePostLimits();

struct PostResult {
  bool ok = false;
  std::string reply;
  std::string error;  // printable reason when !ok
  long status = 0;    // HTTP status, 0 when none arrived
};

// One POST of `data` as text/xml to `url`.
PostResult postXml(const std::string& data, const std::string& url, const PostLimits& limits);

std::unique_ptr<Object> createWebPoster();

}  // namespace nfy::platform::component
