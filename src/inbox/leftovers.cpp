#include "inbox/leftovers.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/text.h"
#include "platform/file_ops.h"
#include "platform/folder.h"
#include "platform/new_file.h"

namespace nfy {
namespace {

// The target a temporary name was made for: what comes before the last
// ".tmp." that is followed by the unique ending.
bool leftoverOf(const std::string& name, const std::function<bool(const std::string&)>& isTarget) {
  for (size_t at = name.find(".tmp."); at != std::string::npos; at = name.find(".tmp.", at + 1)) {
    const std::string target = name.substr(0, at);
    if (isTarget(target) && platform::isReplaceLeftover(name, target)) return true;
  }
  return false;
}

// With `complete`: set false when the folder could not be listed or a
// leftover could not be removed.
int clean(const std::string& folder, const std::function<bool(const std::string&)>& isTarget,
          bool* complete = nullptr) {
  // The messages folder holds a body per stored message: only names of
  // leftovers are looked at further.
  const platform::EntryNames leftovers = [&](std::string_view name) { return leftoverOf(std::string(name), isTarget); };
  std::vector<platform::FolderEntry> entries;
  if (!paths::isAbsolute(folder) || !platform::isPlainFolder(folder) ||
      !platform::listFolder(folder, entries, platform::FolderLink::Refused, leftovers)) {
    if (complete) *complete = false;
    return 0;
  }
  int removed = 0;
  for (const platform::FolderEntry& e : entries) {
    if (!e.regular || !e.own) continue;
    const std::string path = folder + paths::sep() + e.name;
    if (platform::removeFile(path)) {
      subWriteLog("MSG : Deleting file :: " + path);
      ++removed;
    } else if (complete) {
      *complete = false;
    }
  }
  return removed;
}

// The mark that the messages folder holds none of the user's leftovers.
std::string cleanMark() { return sInboxINI_Write + ".clean"; }

bool endsWithNoCase(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && iequals(s.substr(s.size() - tail.size()), tail);
}

}  // namespace

int removeReplaceLeftovers() {
  const size_t cut = sInboxINI_Write.find_last_of(paths::sep());
  if (cut == std::string::npos) return 0;
  const std::string inboxName = sInboxINI_Write.substr(cut + 1);
  // The inbox's replaces and those of the files beside it that are written
  // under its lock (the record of the last pass whose messages all stayed,
  // that of the body files).
  int removed = clean(sInboxINI_Write.substr(0, cut), [&](const std::string& t) {
    return iequals(t, inboxName) || iequals(t, paths::stayingRecord(inboxName)) ||
           iequals(t, paths::bodyRecord(inboxName));
  });
  if (platform::fileOwnership(cleanMark()) != platform::Ownership::Own) {
    bool complete = true;
    removed += clean(
        sMsgFolder, [](const std::string& t) { return endsWithNoCase(t, ".dat"); }, &complete);
    // Every body is replaced under the inbox's lock, which this look holds:
    // none can be made between the listing and the mark.
    if (complete) {
      if (std::FILE* mark = platform::createNewFile(cleanMark(), platform::NewFile::Private)) std::fclose(mark);
    }
  }
  removed += clean(sDataPath + paths::postLogsFolder(), [](const std::string& t) {
    return t.size() > 19 && iequals(t.substr(0, 19), "wpdcmsendmsgdskupd_") && endsWithNoCase(t, ".xml");
  });
  return removed;
}

void beforeBodyReplace() {
  if (sInboxINI_Write.empty() || platform::fileOwnership(cleanMark()) != platform::Ownership::Own) return;
  if (!platform::removeFileDurably(cleanMark())) {
    const platform::FileError e = platform::lastFileError();
    subWriteLog("ERR : " + cleanMark() + " could not be removed, " + std::to_string(e.number) + ":" + e.text);
  }
}

}  // namespace nfy
