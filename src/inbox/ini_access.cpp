// Placeholder: the INI engine is not yet built. These log nothing and store
// nothing; reads find nothing.
#include "inbox/ini_access.h"

namespace nfy {

void fncwriteToINI(const std::string&, const std::string&, const std::string&, const std::string&) {}
long fncReadFromINI(std::string& value, const std::string&, const std::string&, const std::string&) {
  value.clear();
  return 0;
}
std::string fncGetSectionNames() { return ""; }
void fncDeleteINISection(const std::string&, const std::string&) {}
void FncFixMisMatch() {}

}  // namespace nfy
