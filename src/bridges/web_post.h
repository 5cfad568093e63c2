// Posting XML to the provider's web service through the web-post component.
#pragma once

#include <string>

namespace nfy {

// True on success, with the service's reply in `reply`.
bool WebPost(const std::string& data, const std::string& source, std::string& reply);

// The component's three error details of a failed post; all empty when the
// component could not be made or called.
struct WebPostDetails {
  std::string first, second, third;
};
// WebPost, handing back the error details of a failed post.
bool WebPost(const std::string& data, const std::string& source, std::string& reply, WebPostDetails& details);

// The HTTP error status (400 to 599) with which the service refused a post,
// as one of the details names it ("500", "HTTP 500" or "HTTP status 500");
// 0 when none does: the service was not reached, or the component does not
// say.
int refusalStatus(const WebPostDetails& details);
// Starts the registration of the web-post component file.
void RegisterDLL();

}  // namespace nfy
