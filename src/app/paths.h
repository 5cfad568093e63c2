// Path texts of the program, each written once. Literals use "\" and are
// turned into the platform's separator by nativePath().
#pragma once

#include <string>

#include "platform/system.h"

namespace nfy::paths {

inline std::string p(const char* windowsForm) { return platform::nativePath(windowsForm); }

inline const std::string& sep() {
  static const std::string s(1, platform::kPathSep);
  return s;
}
inline std::string templateFile() { return p("nfyDesk\\DeskCom\\nfyDeskMenu.xml"); }
inline std::string logFolder() { return p("ApplicationLog\\nfyDeskLog"); }
inline std::string appLogFolder() { return p("ApplicationLog"); }
inline std::string inboxFolder() { return p("nfyDesk\\DeskInbox"); }
inline std::string messagesFolder() { return p("nfyDesk\\DeskInbox\\Messages"); }
inline std::string sharedInbox() { return p("nfyDesk\\DeskInbox\\nfyDeskInbox.ini"); }
// Beside the inbox: what the last pass whose messages all stayed found.
inline std::string stayingRecord(const std::string& inbox) { return inbox + ".staying"; }
// Beside the inbox: the stamps and digests of the body files last known.
inline std::string bodyRecord(const std::string& inbox) { return inbox + ".bodies"; }
inline std::string postLogsFolder() { return p("DeskPostLogs"); }
inline std::string browserControl() { return p("nfyDesk\\nfyBrowser.ocx"); }
inline std::string inboxViewer() { return p("nfyDesk\\nfyInbox.exe"); }
inline std::string popupComponent() { return p("nfyDesk\\nfyToast.dll"); }
inline std::string posterComponent() { return "nfyPoster.dll"; }
inline std::string endpointIni() { return p("Configuration\\nfyEndpoints.ini"); }

// True for a path from a root: "C:\x", "\x" or "\\server\x" on Windows, "/x" on Linux.
bool isAbsolute(const std::string& path);

}  // namespace nfy::paths
