#include "inbox/message_parse.h"

#include <optional>

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

// More messages than any inbox holds; the rest of a larger reply waits for a
// later run, so that no reply keeps a run writing for minutes.
constexpr size_t kMaxMessagesPerReply = 1000;

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

// A message counted as new: raise the counters and keep the summary naming
// the first message that awaits confirmation.
void countNewMessage(bool idIsSafe) {
  ++lNewMsgCount;
  sTotalMsgs = plusOne(sTotalMsgs);
  sUnreadMsgs = plusOne(sUnreadMsgs);
  writeSummary("TotalMsgs", numberText(leadingNumber(sTotalMsgs)));
  writeSummary("UNREADMsgs", numberText(leadingNumber(sUnreadMsgs)));
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
void handleField(typMsgRecord& rec, const std::string& name, const std::string& value) {
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
    if (rec.sReqUsrConfirm == "1") sReqConfirmMsgs = plusOne(sReqConfirmMsgs);
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

void storeMessage(const typMsgRecord& rec) {
  if (leadingNumber(rec.sID) == 0) return;
  if (!isSafeMessageId(rec.sID)) {
    subWriteLog("ERR : fncParseDeskMessages, unsafe message id " + rec.sID);
    return;
  }
  const std::string id = storedName(rec.sID);
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
}

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
    subWriteLog("sXMLString : " + reply);
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
    size_t handled = 0;
    for (long i = 0; i < count; ++i) {
      auto message = list->child(i);
      // A node without fields (a comment, stray text, an empty element) is
      // not a message: skip it rather than fail the whole reply.
      if (!message || !hasElementChild(*message)) continue;
      if (handled == kMaxMessagesPerReply) {
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
        handleField(rec, name, trim(field->text()));
      }
      subWriteLog("MSG : -----------------------------MSG No. " + std::to_string(i + 1) +
                  "------------------------------------------------");
      storeMessage(rec);
      result = true;
    }
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncParseDeskMessages, " + trap(e).description);
  }
  return result;
}

}  // namespace nfy
