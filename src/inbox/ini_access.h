// Access to INI files (the inbox and the endpoint INI), every call one
// complete operation on the file in its current state.
#pragma once

#include <string>

namespace nfy {

// Writes one key ("ERR : Failed to write to the INI" when it cannot).
void fncwriteToINI(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);
// Reads one key into value (empty when missing); returns its length. Values
// longer than 999 characters come back cut to 999.
long fncReadFromINI(std::string& value, const std::string& section, const std::string& key, const std::string& file);
// The sections of sInboxINI_Read except "MsgCount", joined by ",".
std::string fncGetSectionNames();
// Deletes a whole section.
void fncDeleteINISection(const std::string& section, const std::string& file);
// Resets the summary when the inbox counts no messages.
void FncFixMisMatch();

}  // namespace nfy
