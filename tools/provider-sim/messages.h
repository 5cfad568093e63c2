// Builds the "dcmgetmsgstatus" reply that provider-sim serves from a
// messages file.
#pragma once

#include <string>

namespace sim {

// The reply for the contents of a messages file. Contents whose first
// non-blank character is '<' are the reply verbatim. Otherwise they are
// messages separated by blank lines, one "field=value" per line, '#' lines
// being comments; "\n" in a value stands for a CR LF line break. Blank
// contents give an empty reply. Lines that are not "field=value" with a
// usable element name are reported through `warnings` and skipped.
std::string buildReply(const std::string& contents, std::string* warnings = nullptr);

std::string xmlEscape(const std::string& s);

}  // namespace sim
