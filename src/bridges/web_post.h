// Posting XML to the provider's web service through the web-post component.
#pragma once

#include <string>

namespace nfy {

// True on success, with the service's reply in `reply`.
bool WebPost(const std::string& data, const std::string& source, std::string& reply);
// Starts the registration of the web-post component file.
void RegisterDLL();

}  // namespace nfy
