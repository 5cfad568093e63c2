#include "resend/resend_pass.h"

#include <vector>

#include "app/files.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "bridges/web_post.h"
#include "inbox/ini_access.h"
#include "platform/file_read.h"
#include "platform/folder.h"
#include "platform/system.h"
#include "platform/xml.h"
#include "resend/saved_reports.h"

namespace nfy::resend {
namespace {

using platform::ReadStatus;

const std::string kMsg = "MSG : nfyDeskResend : ";
const std::string kErr = "ERR : nfyDeskResend : ";

// Why a report could not be read; empty for a report that is gone (another
// run delivered it meanwhile).
std::string unreadable(ReadStatus status, const PassLimits& limits) {
  switch (status) {
    case ReadStatus::NotRegular: return "not a regular file";
    case ReadStatus::NotOwn: return "not the user's own file";
    case ReadStatus::TooLarge: return "larger than " + std::to_string(limits.maxBytes) + " bytes";
    case ReadStatus::Failed: return "cannot be read";
    case ReadStatus::Missing:
    case ReadStatus::Ok: break;
  }
  return "";
}

// Moves a report that the service refused for too long aside; false (with
// its error line) when it stays where it is.
bool moveAside(const std::string& folder, const std::string& name, int status) {
  const std::string target = undeliverableFolder(folder);
  try {
    if (!files::folderExists(target)) files::createFolder(target);
    // A link planted at the folder's name, or a folder another user made
    // there (who would then get the user's reports), is never moved into.
    if (!platform::isPlainFolder(target)) raiseError(err::kPathNotFound);
    if (!platform::isOwnFolder(target)) raiseError(err::kPermissionDenied);
    if (!platform::moveFileNoReplace(folder + paths::sep() + name, target + paths::sep() + name)) {
      raiseError(err::kPermissionDenied);
    }
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog(kErr + "cannot move " + name + " to " + target + " : " + std::to_string(t.number) + ":" +
                t.description);
    return false;
  }
  subWriteLog(kMsg + "refused (HTTP " + std::to_string(status) + ") for 30 days, moved to " + target + paths::sep() +
              name);
  return true;
}

}  // namespace

bool savedReportBody(const std::string& file, std::string& body) {
  body = file;
  if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
  const std::string open = "<wpdcmsendmsgdskupd>", close = "</wpdcmsendmsgdskupd>";
  if (body.size() < open.size() + close.size() || body.compare(0, open.size(), open) != 0 ||
      body.compare(body.size() - close.size(), close.size(), close) != 0) {
    return false;
  }
  auto doc = platform::xml::createDocument();
  if (!doc->loadString(body)) return false;
  auto root = doc->selectFirst("wpdcmsendmsgdskupd");
  return root && root->childCount() > 0;
}

std::string undeliverableFolder(const std::string& folder) { return folder + paths::sep() + "undeliverable"; }

PassOutcome deliverSavedReports(const std::string& folder, const std::string& url, const PassLimits& limits,
                                const std::string& inboxFile) {
  PassOutcome out;
  std::vector<platform::FolderEntry> entries;
  if (!files::folderExists(folder)) {
    subWriteLog(kMsg + "no saved reports in " + folder);
    return out;
  }
  bool listed = false;
  auto list = [&] { listed = platform::isPlainFolder(folder) && platform::listFolder(folder, entries); };
  // Without a lock file of the user's own (no inbox folder yet) no removal
  // can be under way either.
  const IniOutcome locked = inboxFile.empty() ? IniOutcome::Failed : whileIniLocked(inboxFile, list);
  if (locked == IniOutcome::Busy) {
    subWriteLog(kMsg + "the inbox " + inboxFile + " is busy; the saved reports wait for the next run");
    return out;
  }
  if (locked != IniOutcome::Ok) list();
  if (!listed) {
    subWriteLog(kErr + folder + " cannot be listed as a folder of its own; nothing is sent");
    return out;
  }
  const std::vector<platform::FolderEntry> reports = ownReportsOldestFirst(std::move(entries));
  subWriteLog(kMsg + std::to_string(reports.size()) + " saved reports in " + folder);

  std::size_t looked = 0;
  for (const auto& entry : reports) {
    if (looked == limits.maxReports) {
      out.capped = true;
      subWriteLog(kMsg + std::to_string(looked) + " reports looked at in this run; " +
                  std::to_string(reports.size() - looked) + " wait for the next one");
      break;
    }
    ++looked;
    const std::string path = folder + paths::sep() + entry.name;
    std::string saved, body;
    platform::FileStamp stamp;
    ReadStatus status = entry.regular
                            ? platform::readFile(path, saved, {.maxBytes = limits.maxBytes, .ownOnly = true}, &stamp)
                            : ReadStatus::NotRegular;
    if (status != ReadStatus::Ok) {
      std::string why = unreadable(status, limits);
      if (!why.empty()) {
        subWriteLog(kErr + entry.name + " is " + why + "; left alone");
        ++out.leftAlone;
      }
      continue;
    }
    // Only a whole report is sent, as the notifier posted it (without the
    // file's final line break); anything else stays for a person to look at.
    if (!savedReportBody(saved, body)) {
      subWriteLog(kErr + entry.name + " does not hold one whole report; left alone");
      ++out.leftAlone;
      continue;
    }

    subWriteLog(kMsg + "sending " + entry.name);
    std::string reply;
    WebPostDetails details;
    if (WebPost(body, url, reply, details)) {
      // Deleted only as the file that was sent: a report saved again under
      // the same name meanwhile is sent on the next run.
      if (!(platform::fileStamp(path) == stamp)) {
        subWriteLog(kMsg + entry.name + " changed while it was sent; kept");
      } else if (!platform::removeFile(path)) {
        subWriteLog(kErr + entry.name + " was delivered but cannot be deleted; it will be sent again");
      } else {
        subWriteLog(kMsg + "delivered, deleted " + entry.name);
      }
      ++out.delivered;
      continue;
    }
    int refusal = refusalStatus(details);
    if (refusal == 0) {
      out.unreachable = true;
      subWriteLog(kMsg + "the service cannot be reached; " + std::to_string(reports.size() - looked + 1) +
                  " reports wait for the next run");
      break;
    }
    const std::int64_t age = static_cast<std::int64_t>(platform::currentTime()) - stamp.modified / 1000000000;
    if (age >= limits.refusedSeconds && moveAside(folder, entry.name, refusal)) {
      ++out.moved;
    } else {
      subWriteLog(kMsg + "refused (HTTP " + std::to_string(refusal) + "), kept for a later run: " + entry.name);
      ++out.refused;
    }
  }
  subWriteLog(kMsg + std::to_string(out.delivered) + " delivered, " + std::to_string(out.refused) + " refused, " +
              std::to_string(out.moved) + " moved, " + std::to_string(out.leftAlone) + " left alone");
  return out;
}

}  // namespace nfy::resend
