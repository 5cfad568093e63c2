// Building requests to the provider's web service: the request URL with the
// agent's identifiers, and values made safe for the request XML and the URL.
#pragma once

#include <string>

namespace nfy {

// base (a "/" added when its trimmed form does not end in one) + "tfr_" +
// requestName + ".asp?mmid=..&sid=..&rid=..&rty=..", the identifiers from the
// run-control globals. A blank base is returned as read, with nothing added.
std::string serviceUrl(const std::string& baseAsRead, const std::string& requestName);

// "&", "<" and ">" as entities, so that a value cannot break the request XML
// or add elements to it.
std::string xmlEscape(const std::string& value);

// Characters outside the URL's unreserved set (letters, digits, "-._~") as
// %XX; a numeric identifier is unchanged.
std::string percentEncode(const std::string& value);

}  // namespace nfy
