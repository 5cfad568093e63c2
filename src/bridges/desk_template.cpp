// Placeholder: the template reader is not yet built; it reads nothing and
// answers false, which ends the run.
#include "bridges/desk_template.h"

namespace nfy {

bool fncParseDeskTemplateXML(const std::string&) { return false; }

}  // namespace nfy
