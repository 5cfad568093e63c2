// Reads the communicator template: the popup's body text ("desksmsmsg") and
// the inbox title ("inboxtitle") from the direct children of the template
// node.
#include "bridges/desk_template.h"

#include <cstdint>

#include "app/globals.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "platform/xml.h"

namespace nfy {

namespace {

// The child walk keeps its index in a 16-bit signed counter: a template node
// with too many children overflows it, as the loop limit (more than 32,768
// children) or as the step past the last index (exactly 32,768).
constexpr long kCounterMax = INT16_MAX;

}  // namespace

bool fncParseDeskTemplateXML(const std::string& templatePath) {
  try {
    auto doc = platform::xml::createDocument();
    if (!doc->loadFile(templatePath)) {
      subWriteLog("ERR : Failed to load " + templatePath);
      return false;
    }
    auto node = doc->selectFirst("dcmgetclientcommtemplate");
    if (!node) node = doc->selectFirst("dcmtesttoolgetcctmpmemb");
    if (!node) return false;

    long last = node->childCount() - 1;
    if (last > kCounterMax) raiseError(err::kOverflow);
    for (std::int16_t i = 0; i <= last;) {
      auto child = node->child(i);
      if (!child) raiseError(err::kObjectRequired);
      std::string name = toLower(trim(child->name()));
      if (name == "desksmsmsg") sPopupMessage = child->text();
      if (name == "inboxtitle") {
        sInboxTitle = child->text();
        subWriteLog("MSG : Popup message :: " + sInboxTitle);
        return true;
      }
      if (i == kCounterMax) raiseError(err::kOverflow);
      ++i;
    }
    return false;
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncParseDeskTemplateXML, " + trap(e).description);
    return false;
  }
}

namespace {
const char* kDefaultTitle =
    "You have new messages from your service provider for your reference. Click for view all messages.";
}

std::string notificationText(const std::string& inboxTitle, const std::string& unreadCount) {
  if (toUpper(trim(inboxTitle)) != toUpper(kDefaultTitle)) return trim(inboxTitle);
  std::string noun = leadingNumber(unreadCount) > 1 ? " messages" : " message";
  return "You have total " + unreadCount + noun +
         " from your service provider for your reference. Click for view all messages.";
}

}  // namespace nfy
