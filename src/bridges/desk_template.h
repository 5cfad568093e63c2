// The communicator template: the popup body text and the inbox title.
#pragma once

#include <string>

namespace nfy {

// Reads sPopupMessage and sInboxTitle; true when an "inboxtitle" was found.
bool fncParseDeskTemplateXML(const std::string& templatePath);

}  // namespace nfy
