#include "viewer/inbox_model.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "lifecycle/expiry.h"
#include "lifecycle/user_status.h"
#include "platform/clock.h"
#include "platform/file_read.h"

namespace nfy::viewer {
namespace {

constexpr size_t kMaxBodyBytes = 1 << 20;
constexpr size_t kMaxIdLength = 200;

std::string value(const std::string& section, const char* key) { return iniValue(sInboxINI_Read, section, key); }

bool isRead(const std::string& status) { return iequals(trim(status), "READ"); }

// Seconds since the epoch of a stored time; the oldest possible for a time
// that cannot be read, so that it sorts last.
long long receivedOrder(const std::string& stored) {
  try {
    return static_cast<long long>(parseStoredDateTime(trim(stored)).toTimeT());
  } catch (const std::exception&) {
    return std::numeric_limits<long long>::min();
  }
}

// Text is what a body file holds; a NUL or many control characters mean
// that it holds something else.
bool looksLikeText(const std::string& bytes) {
  size_t control = 0;
  for (unsigned char c : bytes) {
    if (c == 0) return false;
    if (c < 0x20 && c != '\r' && c != '\n' && c != '\t') ++control;
  }
  return control * 20 <= bytes.size();
}

// When a stored message expires, by the rule of the clean-up pass; "" for
// one that never does or whose times cannot be read (the pass logs those).
std::string expiryText(const std::string& id) {
  try {
    const std::optional<DateTime> moment =
        expiryMoment(storedTimeToLive([&](const char* key) { return value(id, key); }));
    return moment ? moment->stamp() : std::string();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

std::string fromLine(const Message& m, std::string_view separator) {
  std::string line = m.sender.empty() ? std::string() : "From " + m.sender;
  if (!m.received.empty()) {
    if (!line.empty()) line += separator;
    line += m.received;
  }
  return line;
}

std::string headerLine(const Message& m, std::string_view separator) {
  std::string line = fromLine(m, separator);
  if (!m.expires.empty()) {
    if (!line.empty()) line += separator;
    line += texts::kExpires + m.expires;
  }
  return line;
}

bool isSafeFileName(const std::string& id) {
  if (id.empty() || id.size() > kMaxIdLength || id == "." || id == "..") return false;
  if (id.back() == '.' || id.back() == ' ' || id.front() == ' ') return false;
  for (unsigned char c : id) {
    if (c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool InboxModel::reload() {
  std::vector<Message> found;
  try {
    size_t cut = sInboxINI_Write.find_last_of(paths::sep()) + 1;
    sInboxINI_Read = ReadLatestINIFile(sInboxINI_Write.substr(0, cut), sInboxINI_Write.substr(cut));
    std::vector<std::string> seen;
    for (const std::string& name : iniSectionNames(sInboxINI_Read)) {
      // Names match without regard to case: only the first of a name counts.
      bool duplicate = std::any_of(seen.begin(), seen.end(), [&](const std::string& s) { return iequals(s, name); });
      if (trim(name).empty() || iequals(name, "MsgCount") || duplicate) continue;
      seen.push_back(name);
      Message m;
      m.id = name;
      m.subject = value(name, "Subject");
      m.sender = value(name, "CreatedBy");
      m.received = value(name, "DownloadedMNTime");
      m.unread = !isRead(value(name, "ReadStatus"));
      m.awaitsConfirmation = leadingNumber(value(name, "RequireUserConfirmation")) > 0;
      m.expires = expiryText(name);
      found.push_back(std::move(m));
    }
  } catch (const std::exception& e) {
    subWriteLog("ERR : nfyInbox : Reading the inbox " + sInboxINI_Read + ", " + trap(e).description);
  }
  // Newest first; of two with the same time, the one stored later.
  std::reverse(found.begin(), found.end());
  std::stable_sort(found.begin(), found.end(), [](const Message& a, const Message& b) {
    return receivedOrder(a.received) > receivedOrder(b.received);
  });
  if (found == messages_) return false;
  messages_ = std::move(found);
  return true;
}

const Message* InboxModel::find(const std::string& id) const {
  for (const Message& m : messages_) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

std::string InboxModel::body(const std::string& id) const {
  if (!isSafeFileName(id)) return texts::kNoBody;
  // Body files lie in a folder that other users may write: a link there is
  // never followed, and a FIFO or device never waited on (the window would
  // stop answering); at most the cap is read.
  std::string bytes;
  // Only the user's own file: in a folder every user may write, another
  // user could put any text there before the service sends the message.
  switch (platform::readFile(sMsgFolder + paths::sep() + id + ".dat", bytes,
                             {.maxBytes = kMaxBodyBytes, .keepStart = true, .ownOnly = true})) {
    case platform::ReadStatus::Ok: break;
    case platform::ReadStatus::Missing: return texts::kNoBody;
    default: return texts::kNotText;
  }
  bool cut = bytes.size() > kMaxBodyBytes;
  if (cut) bytes.resize(kMaxBodyBytes);
  if (!looksLikeText(bytes)) return texts::kNotText;
  std::string text = replaceAll(replaceAll(bytes, "\r\n", "\r"), "\r", "\n");
  if (cut) text += std::string("\n\n") + texts::kCut;
  return text;
}

bool InboxModel::markRead(const std::string& id) {
  bool marked = false;
  IniOutcome outcome = iniUpdate(sInboxINI_Write, [&](IniEdit& c) {
    if (!c.hasSection(id) || isRead(c.value(id, "ReadStatus"))) return;
    c.set(id, "ReadStatus", "READ");
    c.set(id, "DisplayedToUser", sUserName);
    c.set(id, "DisplayedToUserMNTime", platform::nowStamp());
    double unread = leadingNumber(c.value("MsgCount", "UNREADMsgs"));
    c.set("MsgCount", "UNREADMsgs", numberText(std::max(0.0, unread - 1)));
    marked = true;
  });
  if (outcome != IniOutcome::Ok) {
    subWriteLog("ERR : nfyInbox : Failed to mark the message " + id + " read in " + sInboxINI_Write);
    return false;
  }
  if (marked) subWriteLog("MSG : nfyInbox : Message " + id + " read");
  reload();
  return true;
}

ConfirmResult InboxModel::confirm(const std::string& id) {
  const Message* m = find(id);
  if (!m || !m->awaitsConfirmation) return ConfirmResult::NotAwaiting;
  if (!fncUpdateUserStatus(id, "1")) {
    subWriteLog("ERR : nfyInbox : The confirmation of message " + id + " was not sent");
    return ConfirmResult::NotSent;
  }
  sConfirmMsgID = id;
  fncUpdateConfirmationCount();
  subWriteLog("MSG : nfyInbox : Message " + id + " confirmed");
  reload();
  return ConfirmResult::Confirmed;
}

}  // namespace nfy::viewer
