// Placeholder until the XML DOM lands: no DOM is available yet.
#include "platform/xml.h"

#include "app/errors.h"

namespace nfy::platform::xml {

std::unique_ptr<Document> createDocument() { raiseError(err::kCannotCreateObject); }

}  // namespace nfy::platform::xml
