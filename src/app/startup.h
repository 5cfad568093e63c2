// Start-up: installation and data folders, identifiers, working folders, the
// log, and the inbox file names.
#pragma once

#include <string>

#include "platform/registry.h"

namespace nfy {

void subCreateLog();

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
