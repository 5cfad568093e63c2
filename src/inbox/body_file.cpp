#include "inbox/body_file.h"

#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/leftovers.h"
#include "platform/file_ops.h"

namespace nfy {

bool isSafeMessageId(const std::string& id) {
  std::string t = trim(id);
  if (t.empty() || t == "." || t == ".." || id.size() > 128) return false;
  for (unsigned char c : id) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("\\/:*?\"<>|],").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return true;
}

void subCreateMsgFile(const std::string& SID, const std::string& Content) { createMsgFile(SID, Content); }

bool createMsgFile(const std::string& SID, const std::string& Content) {
  try {
    subWriteLog("MSG : In subCreateMsgFile, SID=" + SID + "\tContent=" + logExcerpt(Content));
    subWriteLog("MSG : Creating file " + sMsgFolder);
    std::string path = sMsgFolder + paths::sep() + SID + ".dat";
    // Without a messages folder (start-up stopped early) there is no place
    // for the file: never write it relative to wherever the process runs.
    if (!paths::isAbsolute(sMsgFolder)) raiseError(err::kPathNotFound);
    beforeBodyReplace();
    try {
      files::writeWholeFile(path, trim(Content).empty() ? std::string() : Content, platform::NewFile::Shared);
    } catch (const RuntimeError&) {
      // A file another user put at the name stays, and the viewer does not
      // show it: say so, for the support staff who hear of a missing text.
      if (platform::fileOwnership(path) == platform::Ownership::Other) {
        subWriteLog("ERR : subCreateMsgFile, " + path + " is not the user's own file; its text is not shown");
      }
      throw;
    }
    return true;
  } catch (const std::exception& e) {
    const TrappedError t = trap(e);
    subWriteLog("ERR : subCreateMsgFile, " + t.description);
    // Another user's file at the name, or no messages folder, stays so on
    // the next run: the message is stored without its text. Any other
    // failure (a full disk, an I/O error) passes: the message waits for a
    // run that can write its body.
    const std::string path = sMsgFolder + paths::sep() + SID + ".dat";
    return !paths::isAbsolute(sMsgFolder) || !files::folderExists(sMsgFolder) ||
           platform::fileOwnership(path) == platform::Ownership::Other;
  }
}

}  // namespace nfy
