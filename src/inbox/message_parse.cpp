#include "inbox/message_parse.h"

#include <optional>
#include <unordered_set>

#include "app/globals.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/ini_access.h"
#include "inbox/ini_document.h"
#include "inbox/ini_file.h"
#include "inbox/message_flow.h"
#include "platform/clock.h"
#include "platform/xml.h"

namespace nfy {

std::vector<typMsgRecord> arrMessages;
long lNewMsgCount = 0;

namespace {

const char* kSummary = "MsgCount";

// More new messages than any inbox takes in at once; the rest of a larger
// reply waits for a later run, so that no reply keeps a run writing for
// minutes. Messages the inbox holds already do not count: the next run
// passes over the ones stored before and gets the rest.
constexpr size_t kMaxMessagesPerReply = 1000;

// What the inbox holds of a message when its turn comes: the summary counts
// follow the sections, so a message stored before is not counted again, and
// one the user has read counts as unread again only when it is stored
// unread once more.
struct Prior {
  bool stored = false;
  bool read = false;
  bool awaitsConfirmation = false;
  bool againInThisReply = false;  // a second copy: it counts against the cap
};

std::string readSummary(const char* key) {
  std::string value;
  fncReadFromINI(value, kSummary, key, sInboxINI_Read);
  return value;
}

void writeSummary(const char* key, const std::string& value) { fncwriteToINI(kSummary, key, value, sInboxINI_Write); }

std::string plusOne(const std::string& count) { return numberText(leadingNumber(count) + 1); }

// Whether a message with this id gets a section and a body file at all: the
// id must be a number other than 0 and safe as a file and section name.
bool isStorable(const std::string& id) { return leadingNumber(id) != 0 && isSafeMessageId(id); }

// A message stored: a section new to the inbox counts once into "TotalMsgs",
// and a section that turns from read to unread counts into "UNREADMsgs".
void countStoredMessage(const Prior& prior) {
  if (!prior.stored) {
    sTotalMsgs = plusOne(sTotalMsgs);
    writeSummary("TotalMsgs", numberText(leadingNumber(sTotalMsgs)));
  }
  if (!prior.stored || prior.read) {
    sUnreadMsgs = plusOne(sUnreadMsgs);
    writeSummary("UNREADMsgs", numberText(leadingNumber(sUnreadMsgs)));
  }
}

// A message counted as new: keep the summary naming the first message that
// awaits confirmation.
void countNewMessage(bool idIsSafe) {
  ++lNewMsgCount;
  double pending = leadingNumber(sReqConfirmMsgs);
  if (pending > 0) {
    writeSummary("RequireUserConfirmation", numberText(pending));
    std::string msgId = readSummary("MSGId");
    std::string subject = readSummary("Subject");
    // An unsafe id is never recorded as the message awaiting confirmation:
    // that message was not stored.
    if ((leadingNumber(msgId) <= 0 || subject.empty()) && idIsSafe) {
      writeSummary("MSGId", trim(sMsgID));
      writeSummary("Subject", trim(sMsgSubject));
    }
  } else if (pending == 0) {
    sMsgID.clear();
    sMsgSubject.clear();
    writeSummary("MSGId", "");
    writeSummary("Subject", "");
  }
}

// One field of message i, by its trimmed lower-case name.
void handleField(typMsgRecord& rec, const Prior& prior, const std::string& name, const std::string& value) {
  if (name == "id") {
    rec.sID = value;
    sMsgID = value;
  } else if (name == "subject") {
    rec.sSubject = value;
    sMsgSubject = value;
  } else if (name == "content") {
    rec.sContent = value;
  } else if (name == "usractid") {
    rec.sUserActionID = value;
  } else if (name == "requsrconfirm") {
    rec.sReqUsrConfirm = toUpper(value) == "TRUE" ? "1" : "0";
    // A message already counted as awaiting confirmation is not counted twice.
    if (rec.sReqUsrConfirm == "1" && !prior.awaitsConfirmation) sReqConfirmMsgs = plusOne(sReqConfirmMsgs);
  } else if (name == "usractchoicedata") {
    rec.sUserActionData = value;
  } else if (name == "frmdt") {
    rec.sFromDate = value;
  } else if (name == "tilldt") {
    rec.sToDate = value;
  } else if (name == "timetolive") {
    rec.sTimeToLive = value;
  } else if (name == "timetolivehrs") {
    rec.sTimeToLiveHrs = value;
  } else if (name == "timetolivedays") {
    rec.sTimeToLiveDays = value;
  } else if (name == "timetolivedt") {
    rec.sTimeToLiveDate = value;
  } else if (name == "createdby") {
    rec.sCreatedBy = value;
  } else if (name == "status") {
    // The receipt time goes into the section of the id met so far; an id
    // that will not be stored leaves no section behind.
    if (isStorable(rec.sID)) fncwriteToINI(rec.sID, "DownloadedMNTime", platform::nowStamp(), sInboxINI_Write);
    rec.sStatus = value;
    subWriteLog("MSG : 111111111111 : " + value);
    if (leadingNumber(value) == 0) countNewMessage(isSafeMessageId(rec.sID));
  } else if (name == "dcdwntime") {
    rec.sDCDownTime = value;
  }
}

// The name under which a message is stored: ids that differ only in letter
// case share one INI section, so they share the body file too, named as the
// section was first stored.
std::string storedName(const std::string& id) {
  try {
    for (const std::string& name : ini::sectionNames(sInboxINI_Read)) {
      if (ini::sameName(name, id)) return name;
    }
  } catch (const RuntimeError&) {
    // No inbox to look in (its name is not a full path): the writes that
    // follow log their own failure.
  }
  return id;
}

// The body text as the body file holds it: each line break one CR, whether
// the reply sent CR LF (as a reference; a parser turns a literal one into
// LF), LF alone or CR alone.
std::string bodyText(const std::string& content) { return replaceAll(replaceAll(content, "\r\n", "\r"), "\n", "\r"); }

// Returns whether the message was stored.
bool storeMessage(const typMsgRecord& rec, const Prior& prior) {
  if (leadingNumber(rec.sID) == 0) return false;
  if (!isSafeMessageId(rec.sID)) {
    subWriteLog("ERR : fncParseDeskMessages, unsafe message id " + rec.sID);
    return false;
  }
  const std::string id = storedName(rec.sID);
  countStoredMessage(prior);
  auto put = [&](const char* key, const std::string& value) { fncwriteToINI(id, key, value, sInboxINI_Write); };
  put("Subject", rec.sSubject);
  if (!trim(rec.sContent).empty()) subCreateMsgFile(id, bodyText(rec.sContent));
  put("UserActionID", rec.sUserActionID);
  put("UserActionData", rec.sUserActionData);
  put("FromDate", rec.sFromDate);
  put("ToDate", rec.sToDate);
  put("TimeToLive", rec.sTimeToLive);
  put("TimeToLiveHrs", rec.sTimeToLiveHrs);
  put("TimeToLiveDays", rec.sTimeToLiveDays);
  put("TimeToLiveDate", rec.sTimeToLiveDate);
  put("CreatedBy", rec.sCreatedBy);
  put("MsgStatus", rec.sStatus);
  put("ReadStatus", "UnRead");
  put("DownloadedDCTime", rec.sDCDownTime);
  put("Download_InformedToUser", sUserName);
  put("Download_InformedAgentTime", platform::nowStamp());
  put("RequireUserConfirmation", rec.sReqUsrConfirm);
  return true;
}

// The id a message is stored under: the trimmed text of its last "id"
// field ("" when it has none).
std::string storedId(const platform::xml::Node& message) {
  std::string id;
  for (long j = 0, n = message.childCount(); j < n; ++j) {
    auto field = message.child(j);
    if (field && toLower(trim(field->name())) == "id") id = trim(field->text());
  }
  return id;
}

// The inbox's messages by lower-case name, as the parse found and stored them.
class StoredMessages {
 public:
  StoredMessages() {
    try {
      for (const std::string& name : ini::sectionNames(sInboxINI_Read)) names_.insert(toLower(name));
    } catch (const RuntimeError&) {
      // No inbox to look in: every message is new to it.
    }
  }
  // What the inbox holds of `id` now, and whether the reply brought it
  // before.
  Prior take(const std::string& id) {
    Prior prior;
    if (!isStorable(id)) return prior;
    prior.againInThisReply = !takenThisReply_.insert(toLower(id)).second;
    if (!names_.count(toLower(id))) return prior;
    prior.stored = true;
    std::string read, confirm;
    fncReadFromINI(read, id, "ReadStatus", sInboxINI_Read);
    fncReadFromINI(confirm, id, "RequireUserConfirmation", sInboxINI_Read);
    prior.read = toUpper(trim(read)) != "UNREAD";
    prior.awaitsConfirmation = trim(confirm) == "1";
    return prior;
  }
  void add(const std::string& id) { names_.insert(toLower(id)); }

 private:
  std::unordered_set<std::string> names_, takenThisReply_;
};

bool hasElementChild(const platform::xml::Node& node) {
  for (long j = 0, n = node.childCount(); j < n; ++j) {
    auto child = node.child(j);
    if (child && !child->name().empty() && child->name()[0] != '#') return true;
  }
  return false;
}

}  // namespace

bool fncParseDeskMessages(const std::string& reply) {
  bool result = false;
  lNewMsgCount = 0;
  try {
    subWriteLog("MSG : In fncParseDeskMessages");
    auto doc = platform::xml::createDocument();
    subWriteLog("sXMLString : " + logExcerpt(reply));
    if (!doc->loadString(reply)) {
      subWriteLog("ERR : Failed to load the xml for Desk Messages. ");
      return false;
    }
    subWriteLog("MSG : Successfully loaded the xml");
    auto list = doc->selectFirst("dcmgetmsgstatus");
    if (!list) return false;

    const char* keys[] = {"TotalMsgs", "UNREADMsgs", "RequireUserConfirmation", "MSGId", "Subject"};
    std::optional<IniWriteScope> normalising(sInboxINI_Write);
    for (const char* key : keys) {
      if (trim(readSummary(key)).empty()) writeSummary(key, std::string(key) == "Subject" ? "" : "0");
    }
    normalising.reset();

    // Records are kept for real messages only: nodes that are skipped take
    // no place in arrMessages, while the log's number counts every child.
    const long count = list->childCount();
    size_t handled = 0, fresh = 0;
    StoredMessages stored;
    for (long i = 0; i < count; ++i) {
      auto message = list->child(i);
      // A node without fields (a comment, stray text, an empty element) is
      // not a message: skip it rather than fail the whole reply.
      if (!message || !hasElementChild(*message)) continue;
      const Prior prior = stored.take(storedId(*message));
      // Messages stored before pass without counting, each once per reply.
      if ((!prior.stored || prior.againInThisReply) && fresh++ == kMaxMessagesPerReply) {
        subWriteLog("ERR : fncParseDeskMessages, the reply holds more than " + std::to_string(kMaxMessagesPerReply) +
                    " messages; the rest are left for a later run");
        break;
      }
      if (arrMessages.size() <= handled) arrMessages.resize(handled + 1);
      typMsgRecord& rec = arrMessages[handled++];
      // A message has one status: a repeated one would count the message
      // as new again and write the inbox once more for each copy.
      bool statusSeen = false, repeatLogged = false;
      IniWriteScope oneMessage(sInboxINI_Write);  // stored whole or not at all
      const long fields = message->childCount();
      for (long j = 0; j < fields; ++j) {
        auto field = message->child(j);
        std::string name = toLower(trim(field->name()));
        if (name == "status") {
          if (statusSeen) {
            if (!repeatLogged)
              subWriteLog("ERR : fncParseDeskMessages, message " + std::to_string(i + 1) +
                          " has more than one status; only the first counts");
            repeatLogged = true;
            continue;
          }
          statusSeen = true;
        }
        handleField(rec, prior, name, trim(field->text()));
      }
      subWriteLog("MSG : -----------------------------MSG No. " + std::to_string(i + 1) +
                  "------------------------------------------------");
      if (storeMessage(rec, prior)) stored.add(rec.sID);
      result = true;
    }
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncParseDeskMessages, " + trap(e).description);
  }
  return result;
}

}  // namespace nfy
