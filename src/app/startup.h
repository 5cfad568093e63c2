// Start-up: installation and data folders, identifiers, working folders, the
// log, and the inbox file names.
#pragma once

#include <string>

#include "platform/registry.h"

namespace nfy {

void subCreateLog();

// The agent's installation folder ("InstallationPath" of its key), trimmed
// and ending in the separator; empty when the value is blank or names no
// folder.
std::string findInstallPath();

// Opens the running program's own log in the data folder's log folder (both
// folder levels made when missing), named from the program, sRegID, the
// date and sUserName. Raises what folder creation and openLog raise.
void openProgramLog();

// Start-up of a companion program (the inbox viewer, nfyDeskResend): the
// installation and data folders, sRegID and sUserName as the notifier finds
// them, and the program's own log, which is a help, not a condition (one
// that cannot be opened is done without). False when the agent is not
// installed: then nothing is written anywhere.
bool startCompanion();

// Reads "RegID", "siteid", "MemberID" and "Type" into their globals, with
// their log lines; an identifier whose numeric value is 0 ends the run.
void readIdentifiers();

// Creates one folder level when it is missing, logging
// "MSG : Preprocessing : Creating Folder " + path first. Raises what folder
// creation raises.
void ensureFolder(const std::string& path);

// One string value of a registry key ("" when missing or unreadable).
std::string ReadReg(platform::reg::Key hive, const std::string& keyPath, const std::string& valueName, short kind);

void fncGetUserName(const std::string& label, std::string& userName, std::string& errorText);

// The inbox INI to read: the newest regular file of the running user's own
// in strFolderPath whose name holds strFilerFile and ends in ".ini" (the
// viewer reads the same); strFolderPath + strFilerFile when none;
// the shared inbox under the installation folder when the folder is missing.
std::string ReadLatestINIFile(const std::string& strFolderPath, const std::string& strFilerFile);

// The data folder for an ALLUSERSPROFILE value (ends in the separator).
std::string dataPathFor(std::string allUsersProfile, const std::string& installPath);

// The agent's registry key and its root.
inline constexpr const char* kAgentKey = "SOFTWARE\\VELTOR";

}  // namespace nfy
