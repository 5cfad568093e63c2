#include "inbox/message_parse.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/digest.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/body_file.h"
#include "inbox/body_record.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/file_read.h"
#include "platform/folder.h"
#include "platform/xml.h"

namespace nfy {

namespace {

const char* kSummary = "MsgCount";

// More messages than any inbox takes in at once; the rest of a larger
// reply waits for a later run, so that no reply keeps a run writing for
// minutes. What the run writes counts: a message new to the inbox, one
// whose content changed, a second copy with other content. A message the
// inbox holds as the reply has it costs no write and passes (counting it
// would stop a reply larger than the cap at the same place on every run),
// and so do entries that are never stored (an id that is no number or not
// safe as a file name).
constexpr size_t kMaxMessagesPerReply = 1000;

// The messages of a reply are stored in groups, each one replace of the
// inbox under its lock: a group closes after this many messages written or
// this much time, so that the lock is never held long (the viewer waits for
// it) and a run that is killed loses at most one group, which the service
// offers again.
constexpr size_t kGroupMessages = 100;
constexpr std::chrono::milliseconds kGroupTime{250};

// The body bytes one run stores at most: a service that sends more (by
// fault or on purpose) cannot fill the disk; the rest waits for a later run.
constexpr size_t kMaxBodyBytesPerRun = 64u << 20;

// What the inbox holds of a message when its turn comes.
struct Prior {
  bool numbered = false;  // the id is a number other than 0
  bool storable = false;  // the message gets a section and a body file
  bool stored = false;    // the inbox holds it already
};

// A message of the reply as parsed, before anything is stored: the record,
// and what the fields before its "status" said (the receipt time and the
// summary step use the id, subject and confirmation flag met so far).
struct ParsedMessage {
  long number = 0;  // the message element's place in the reply, from 1
  typMsgRecord rec;
  bool hasStatus = false;
  std::string idAtStatus, subjectAtStatus;
  bool confirmAtStatus = false;
  std::vector<std::string> lines;  // the log lines of the parse, logged when the message is handled
};

// Whether a message with this id gets a section and a body file at all: the
// id must be a number other than 0 and safe as a file and section name.
bool isStorable(const std::string& id) { return leadingNumber(id) != 0 && isSafeMessageId(id); }

// One field of a message, by its trimmed lower-case name: into the record,
// nothing else. The value is moved into the record, not copied.
void handleField(ParsedMessage& m, std::string_view name, std::string value) {
  typMsgRecord& rec = m.rec;
  if (name == "id") {
    rec.sID = std::move(value);
  } else if (name == "subject") {
    rec.sSubject = std::move(value);
  } else if (name == "content") {
    rec.sContent = std::move(value);
  } else if (name == "usractid") {
    rec.sUserActionID = std::move(value);
  } else if (name == "requsrconfirm") {
    rec.sReqUsrConfirm = iequals(value, "TRUE") ? "1" : "0";
  } else if (name == "usractchoicedata") {
    rec.sUserActionData = std::move(value);
  } else if (name == "frmdt") {
    rec.sFromDate = std::move(value);
  } else if (name == "tilldt") {
    rec.sToDate = std::move(value);
  } else if (name == "timetolive") {
    rec.sTimeToLive = std::move(value);
  } else if (name == "timetolivehrs") {
    rec.sTimeToLiveHrs = std::move(value);
  } else if (name == "timetolivedays") {
    rec.sTimeToLiveDays = std::move(value);
  } else if (name == "timetolivedt") {
    rec.sTimeToLiveDate = std::move(value);
  } else if (name == "createdby") {
    rec.sCreatedBy = std::move(value);
  } else if (name == "status") {
    m.hasStatus = true;
    m.idAtStatus = rec.sID;
    m.subjectAtStatus = rec.sSubject;
    m.confirmAtStatus = rec.sReqUsrConfirm == "1";
    m.lines.push_back("MSG : 111111111111 : " + value);
    rec.sStatus = std::move(value);
  } else if (name == "dcdwntime") {
    rec.sDCDownTime = std::move(value);
  }
}

// The name under which a message is stored: ids that differ only in letter
// case share one INI section, so they share the body file too, named as the
// section was first stored.
std::string storedName(const std::string& id) {
  std::string name = iniStoredSectionName(sInboxINI_Write, id);
  return name.empty() ? id : name;
}

// The messages of the inbox that await the user's confirmation, by
// lower-case name: read from the inbox when a new message first needs them,
// then kept as the run stores messages.
class Awaiting {
 public:
  // `noneYet`: none awaits confirmation as the run begins (known without
  // looking at the sections).
  explicit Awaiting(bool noneYet) : loaded_(noneYet) {}
  // Those awaiting confirmation, `id` aside.
  double others(const std::string& id) {
    load();
    return static_cast<double>(names_.size() - (names_.count(toLower(id)) ? 1 : 0));
  }
  void stored(const std::string& id, const std::string& confirm) {
    if (!loaded_) return;
    if (leadingNumber(confirm) > 0) {
      names_.insert(toLower(id));
    } else {
      names_.erase(toLower(id));
    }
  }

 private:
  void load() {
    if (loaded_) return;
    for (const auto& [name, confirm] : iniSectionValues(sInboxINI_Write, "RequireUserConfirmation")) {
      if (!iequals(name, kSummary) && leadingNumber(confirm) > 0) names_.insert(toLower(name));
    }
    loaded_ = true;
  }
  std::unordered_set<std::string> names_;
  bool loaded_ = false;
};

// A message counted as new: keep the summary naming the first message that
// awaits confirmation, or clear it while none does.
void countNewMessage(const ParsedMessage& m, Awaiting& awaiting) {
  ++lNewMsgCount;
  sMsgID = m.idAtStatus;
  sMsgSubject = m.subjectAtStatus;
  const bool idIsSafe = isSafeMessageId(m.idAtStatus);
  const double pending = awaiting.others(idIsSafe ? m.idAtStatus : std::string()) + (m.confirmAtStatus ? 1 : 0);
  sReqConfirmMsgs = numberText(pending);
  if (pending > 0) {
    const std::vector<std::string> summary = readIniKeys(kSummary, {"MSGId", "Subject"});
    const std::string& msgId = summary[0];
    const std::string& subject = summary[1];
    // An unsafe id is never recorded as the message awaiting confirmation:
    // that message is not stored.
    if ((leadingNumber(msgId) <= 0 || subject.empty()) && idIsSafe) {
      writeSummary("MSGId", trim(sMsgID));
      writeSummary("Subject", trim(sMsgSubject));
    }
  } else {
    sMsgID.clear();
    sMsgSubject.clear();
    writeSummary("MSGId", "");
    writeSummary("Subject", "");
  }
}

// The body text as the body file holds it: each line break one CR, whether
// the reply sent CR LF (as a reference; a parser turns a literal one into
// LF), LF alone or CR alone.
// One pass: the text between line breaks is copied a run at a time.
std::string bodyText(std::string_view content) {
  std::string body;
  body.reserve(content.size());
  size_t i = 0;
  while (i < content.size()) {
    size_t brk = i;
    while (brk < content.size() && content[brk] != '\r' && content[brk] != '\n') ++brk;
    body.append(content, i, brk - i);
    if (brk == content.size()) break;
    body += '\r';
    // CR LF is one break.
    i = brk + (content[brk] == '\r' && brk + 1 < content.size() && content[brk + 1] == '\n' ? 2 : 1);
  }
  return body;
}

// Whether the messages folder is a full path (paths::isAbsolute), worked
// out once for each folder name rather than once for each message.
bool msgFolderIsAbsolute() {
  static std::optional<std::string> folder;
  static bool absolute = false;
  if (!folder || *folder != sMsgFolder) {
    absolute = paths::isAbsolute(sMsgFolder);
    folder = sMsgFolder;
  }
  return absolute;
}

// The body files as the record beside the inbox knows them, and as this run
// finds them: a body whose file has the recorded stamp is not read back to be
// compared. The record is read when the first repeated message is compared,
// and written back, under the inbox's lock, when this run learnt something
// new. A body this run writes is not recorded (see learn): it is read back
// once, by the next run that gets it again.
class BodiesKnown {
 public:
  // `upcoming`: the ids of the messages that the parse has yet to come to,
  // in their order.
  // `ahead`: the record being read meanwhile, if it is.
  BodiesKnown(std::function<std::vector<std::string>()> upcoming, std::future<BodyRecord> ahead)
      : upcoming_(std::move(upcoming)), ahead_(std::move(ahead)) {}
  // Whether the body file of `id` in the messages folder is the one
  // recorded for it, with a text of that digest. The folder is held open
  // for the looks (one walk of its path, not one for each message).
  bool holds(const std::string& id, std::uint64_t digest) {
    if (!loaded_) load();
    const auto it = record_.find(id);
    if (it == record_.end() || it->second.digest != digest) return false;
    if (!folder_) folder_.emplace(sMsgFolder);
    return folder_->stamp(id + ".dat") == it->second.stamp;
  }
  // The file of `id`, just read, has that stamp and a text of that digest.
  // A file changed within the last seconds is not recorded: a change in
  // place within the same tick of the file system's clock, of the same
  // size, would keep its stamp. (An entry that no longer fits its file
  // does no harm: the file's stamp differs from it.)
  void learn(const std::string& id, const platform::FileStamp& stamp, std::uint64_t digest) {
    constexpr std::int64_t kSettleNs = 3'000'000'000;
    if (!stamp.exists || platform::fileClockNow() - stamp.modified <= kSettleNs) return;
    const KnownBody body{stamp, digest};
    auto [it, added] = record_.try_emplace(id, body);
    if (!added && it->second == body) return;
    it->second = body;
    changed_ = true;
  }
  // Writes the record when it changed, with the messages `kept` says the
  // inbox holds: a lost record only costs reading the bodies back once.
  template <typename Kept>
  void save(Kept kept) {
    if (!changed_) return;
    std::erase_if(record_, [&](const auto& entry) { return !kept(entry.first); });
    writeBesideInbox(paths::bodyRecord(sInboxINI_Write), [&] { return writeBodyRecord(sInboxINI_Write, record_); });
  }

 private:
  // Read when the first repeated message is compared. The files of the
  // messages to come that the record knows are then looked at ahead, beside
  // the parse: a reply that repeats thousands of messages does not wait for
  // a look at each of their files in turn.
  void load() {
    loaded_ = true;
    if (sInboxINI_Write.empty()) return;
    record_ = ahead_.valid() ? ahead_.get() : readBodyRecord(sInboxINI_Write);
    if (record_.empty()) return;
    std::vector<std::string> names;
    for (std::string& id : upcoming_()) {
      if (record_.count(id)) names.push_back(std::move(id) + ".dat");
    }
    folder_.emplace(sMsgFolder);
    folder_->lookAhead(std::move(names));
  }

  std::function<std::vector<std::string>()> upcoming_;
  std::future<BodyRecord> ahead_;  // waited for, if not taken, when the parse ends
  BodyRecord record_;
  std::optional<platform::HeldFolder> folder_;
  bool loaded_ = false;
  bool changed_ = false;
};

// Whether the inbox holds this message as the reply has it: every key that
// comes from the reply, and the body file's text. Such a message is not
// written again: its receipt time stays that of its first arrival (the base
// of its time to live) and a read mark the user gave it stays.
bool storedAsItIs(const ParsedMessage& m, BodiesKnown& bodies) {
  const typMsgRecord& rec = m.rec;
  // The receipt time would go into another section than the message's own.
  if (m.hasStatus && !sameIniName(m.idAtStatus, rec.sID)) return false;
  // A score of keys compared, the section looked up once; the reads go to
  // the document of the parse's open scope, not to the disk.
  const std::string id = iniStoredSectionName(sInboxINI_Write, rec.sID);
  if (id.empty()) return false;
  // The receipt time, then the keys that come from the reply, in the order
  // of their values in `fromReply`.
  const std::vector<std::string> stored =
      iniValues(sInboxINI_Write, id,
                {"DownloadedMNTime", "Subject", "UserActionID", "UserActionData", "FromDate", "ToDate", "TimeToLive",
                 "TimeToLiveHrs", "TimeToLiveDays", "TimeToLiveDate", "CreatedBy", "MsgStatus", "DownloadedDCTime",
                 "Download_InformedToUser", "RequireUserConfirmation"});
  const std::string* const fromReply[] = {
      &rec.sSubject,    &rec.sUserActionID,  &rec.sUserActionData, &rec.sFromDate,       &rec.sToDate,
      &rec.sTimeToLive, &rec.sTimeToLiveHrs, &rec.sTimeToLiveDays, &rec.sTimeToLiveDate, &rec.sCreatedBy,
      &rec.sStatus,     &rec.sDCDownTime,    &sUserName,           &rec.sReqUsrConfirm};
  static_assert(std::size(fromReply) == 14);
  if (m.hasStatus && trimView(stored[0]).empty()) return false;
  for (size_t k = 0; k < std::size(fromReply); ++k) {
    if (!iniReadsBackAs(stored[k + 1], *fromReply[k])) return false;
  }
  if (trimView(rec.sContent).empty()) return true;  // a blank body leaves the body file as it is
  if (!msgFolderIsAbsolute()) return false;
  const std::string body = bodyText(rec.sContent);
  const std::string path = sMsgFolder + paths::sep() + id + ".dat";
  const std::uint64_t digest = contentDigest(body);
  if (bodies.holds(id, digest)) return true;
  std::string onDisk;
  platform::FileStamp stamp;
  const bool same = platform::readFile(path, onDisk, {.maxBytes = body.size(), .keepStart = true, .ownOnly = true},
                                       &stamp) == platform::ReadStatus::Ok &&
                    onDisk == body;
  if (same) bodies.learn(id, stamp, digest);
  return same;
}

// Stores one parsed message, all of it in one change of the inbox: its
// receipt time, the summary step of a new message, its section; its body
// file is written under the same lock, just before the inbox, so that a
// stored section never goes without its body. `prior` is what the inbox
// held of the message's id (rec.sID). Returns whether the message got its
// section.
bool storeMessage(const ParsedMessage& m, const Prior& prior, bool asItIs, Awaiting& awaiting) {
  const typMsgRecord& rec = m.rec;
  for (const std::string& line : m.lines) subWriteLog(line);
  // Stored whole or not at all, in the parse's group; a message stored as
  // it is writes nothing of its own.
  std::optional<IniWriteScope> oneMessage;
  if (!asItIs) oneMessage.emplace(sInboxINI_Write);
  // New to the file being written (not to the inbox the run read, which
  // may be another file or none): only such a message is left out when its
  // body cannot be written. A message stored as it is is in that file (it
  // was just found there) and writes no body.
  const bool isNew = !asItIs && prior.storable && iniStoredSectionName(sInboxINI_Write, rec.sID).empty();
  // The receipt time goes into the section of the id met before the status;
  // an id that will not be stored leaves no section behind.
  if (m.hasStatus && !asItIs && isStorable(m.idAtStatus)) {
    fncwriteToINI(storedName(m.idAtStatus), "DownloadedMNTime", platform::nowStamp(), sInboxINI_Write);
  }
  if (m.hasStatus && leadingNumber(rec.sStatus) == 0) countNewMessage(m, awaiting);
  subWriteLog("MSG : -----------------------------MSG No. " + std::to_string(m.number) +
              "------------------------------------------------");
  if (!prior.numbered) return false;
  if (!prior.storable) {
    subWriteLog("ERR : fncParseDeskMessages, unsafe message id " + rec.sID);
    return false;
  }
  sMsgID = rec.sID;
  sMsgSubject = rec.sSubject;
  if (asItIs) {
    subWriteLog("MSG : Message " + rec.sID + " is in the inbox as the reply has it; it is not written again");
    return true;
  }
  awaiting.stored(rec.sID, rec.sReqUsrConfirm);
  const std::string id = storedName(rec.sID);
  auto put = [&](const char* key, const std::string& value) { fncwriteToINI(id, key, value, sInboxINI_Write); };
  put("Subject", rec.sSubject);
  const bool hasBody = !trimView(rec.sContent).empty();
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
  if (hasBody) {
    // A body that cannot be written is logged by subCreateMsgFile; the
    // message's section is stored all the same.
    // A new message whose body cannot be written now (a full disk, an I/O
    // error) is left out of the inbox, so that no section goes without its
    // body; the service sends it again. A message stored before keeps its
    // old body.
    oneMessage->guard({[id, body = bodyText(rec.sContent), isNew](const IniDocument* changedMeanwhile, IniEdit* next) {
                         // Another run that stored it meanwhile wrote its body too.
                         const bool elsewhere = changedMeanwhile && holdsSection(*changedMeanwhile, id);
                         if (!createMsgFile(id, body) && isNew && !elsewhere && next && next->removeSection(id)) {
                           subWriteLog("ERR : fncParseDeskMessages, message " + id +
                                       " is not stored in this run: its body could not be written");
                         }
                         return true;
                       },
                       {}});
  }
  oneMessage->commit();
  return true;
}

// The inbox's messages by lower-case name, as the parse found and stored them.
class StoredMessages {
 public:
  StoredMessages() {
    try {
      // One look at the inbox first: one that cannot be read stops the parse.
      (void)iniStoredSectionName(sInboxINI_Read, kSummary);
      readable_ = true;
    } catch (const RuntimeError& e) {
      // No inbox to look in (its name is not a full path): every message is
      // new to it.
      if (e.number() != err::kPathNotFound) throw;
    }
  }
  // What the inbox holds of `id` now.
  Prior take(const std::string& id) {
    Prior prior;
    prior.numbered = leadingNumber(id) != 0;
    prior.storable = prior.numbered && isSafeMessageId(id);
    if (prior.storable) prior.stored = holds(id);
    return prior;
  }
  void add(const std::string& id) { added_.insert(toLower(id)); }
  // Looked up in the inbox's index of sections (a large inbox's names are
  // not copied), and among those this run stored (into the inbox written,
  // which may be another one than the inbox read).
  bool holds(const std::string& id) const {
    return added_.count(toLower(id)) > 0 || (readable_ && !iniStoredSectionName(sInboxINI_Read, id).empty());
  }

 private:
  bool readable_ = false;
  std::unordered_set<std::string> added_;
};

bool hasElementChild(const platform::xml::Node& node) {
  for (long j = 0, n = node.childCount(); j < n; ++j) {
    auto child = node.child(j);
    if (child && !child->name().empty() && child->name()[0] != '#') return true;
  }
  return false;
}

// The id a message element is stored under, as far as its first "id" field
// tells (enough to look at its body file ahead; the parse decides).
std::string firstId(const platform::xml::Node& message) {
  std::string id;
  message.eachChild([&](const std::string& name, std::string text) {
    if (!iequals(trimView(name), "id")) return true;
    id = trimView(text);
    return false;
  });
  return id;
}

// The body record read on a thread of its own while the reply is parsed:
// a reply that repeats stored messages wants it at its first one, and one
// of new messages only never takes it. Without a thread to spare it is read
// when it is wanted.
std::future<BodyRecord> readBodyRecordAhead() {
  if (sInboxINI_Write.empty()) return {};
  try {
    return std::async(std::launch::async, [inbox = sInboxINI_Write] { return readBodyRecord(inbox); });
  } catch (const std::system_error&) {
    return {};
  }
}

// One message element into a record, without touching the inbox.
ParsedMessage parseMessage(const platform::xml::Node& message, long number) {
  ParsedMessage m;
  m.number = number;
  // A message has one status: a repeated one would count the message as new
  // again and write the inbox once more for each copy.
  bool statusSeen = false, repeatLogged = false;
  message.eachChild([&](const std::string& fieldName, std::string value) {
    const std::string name = toLower(trimView(fieldName));
    if (name == "status") {
      if (statusSeen) {
        if (!repeatLogged)
          m.lines.push_back("ERR : fncParseDeskMessages, message " + std::to_string(number) +
                            " has more than one status; only the first counts");
        repeatLogged = true;
        return true;
      }
      statusSeen = true;
    }
    if (const std::string_view trimmed = trimView(value); trimmed.size() != value.size()) value = std::string(trimmed);
    handleField(m, name, std::move(value));
    return true;
  });
  return m;
}

}  // namespace

bool fncParseDeskMessages(std::string reply) {
  bool result = false;
  lNewMsgCount = 0;
  try {
    subWriteLog("MSG : In fncParseDeskMessages");
    std::future<BodyRecord> recordAhead = readBodyRecordAhead();
    auto doc = platform::xml::createDocument();
    subWriteLog("sXMLString : " + logExcerpt(reply));
    if (!doc->loadOwnedString(std::move(reply))) {
      subWriteLog("ERR : Failed to load the xml for Desk Messages. ");
      return false;
    }
    subWriteLog("MSG : Successfully loaded the xml");
    auto list = doc->selectFirst("dcmgetmsgstatus");
    if (!list) return false;

    long next = 0;  // the place in the reply of the message that comes next
    BodiesKnown bodies(
        [&] {
          std::vector<std::string> ids;
          for (long j = next, n = list->childCount(); j < n; ++j) {
            if (auto message = list->child(j)) ids.push_back(firstId(*message));
          }
          return ids;
        },
        std::move(recordAhead));
    // An inbox whose counts are known true and say that none awaits
    // confirmation: its sections need not be looked at for those that do.
    const bool noneAwaiting =
        inboxCountsKnownTrue() && iniValue(sInboxINI_Write, kSummary, "RequireUserConfirmation") == "0";
    // The messages are stored in groups, the first with the summary's
    // defaults: a value set here and set back by a message (MSGId) is no
    // change, and a reply that changes nothing writes nothing.
    std::optional<IniWriteScope> group(sInboxINI_Write);  // left by an error, it writes nothing
    auto groupStart = std::chrono::steady_clock::now();
    const char* keys[] = {"TotalMsgs", "UNREADMsgs", "RequireUserConfirmation", "MSGId", "Subject"};
    for (const char* key : keys) {
      if (trim(readIni(kSummary, key)).empty()) writeSummary(key, std::string(key) == "Subject" ? "" : "0");
    }

    // Records are kept for real messages only: nodes that are skipped take
    // no place in arrMessages, while the log's number counts every child.
    const long count = list->childCount();
    // Room for the records of a reply of ordinary size at once (the records
    // are large); a reply of more children than messages a run stores does
    // not reserve for all of them.
    arrMessages.reserve(arrMessages.size() + static_cast<size_t>(std::min<long>(count, 4096)));
    size_t handled = 0, fresh = 0, bodyBytes = 0, inGroup = 0;
    StoredMessages stored;
    Awaiting awaiting(noneAwaiting);
    for (long i = 0; i < count; ++i) {
      next = i;
      auto message = list->child(i);
      // A node without fields (a comment, stray text, an empty element) is
      // not a message: skip it rather than fail the whole reply.
      if (!message || !hasElementChild(*message)) continue;
      if (!group) {
        group.emplace(sInboxINI_Write);
        inGroup = 0;
        groupStart = std::chrono::steady_clock::now();
      }
      // The message is stored under the trimmed text of its last "id"
      // field, as the parse keeps it.
      ParsedMessage parsed = parseMessage(*message, i + 1);
      const Prior prior = stored.take(parsed.rec.sID);
      const bool asItIs = prior.stored && storedAsItIs(parsed, bodies);
      if (prior.storable && !asItIs) {
        if (fresh++ == kMaxMessagesPerReply) {
          subWriteLog("ERR : fncParseDeskMessages, the reply holds more than " + std::to_string(kMaxMessagesPerReply) +
                      " messages; the rest are left for a later run");
          break;
        }
        bodyBytes += trimView(parsed.rec.sContent).size();
        if (bodyBytes > kMaxBodyBytesPerRun) {
          subWriteLog("ERR : fncParseDeskMessages, the reply's bodies pass " +
                      std::to_string(kMaxBodyBytesPerRun >> 20) + " MiB; the rest are left for a later run");
          break;
        }
        ++inGroup;
      }
      if (storeMessage(parsed, prior, asItIs, awaiting)) {
        stored.add(parsed.rec.sID);
        if (!asItIs) writtenIds.push_back(parsed.rec.sID);
      }
      if (arrMessages.size() <= handled) arrMessages.resize(handled + 1);
      arrMessages[handled++] = std::move(parsed.rec);
      result = true;
      if (inGroup >= kGroupMessages || std::chrono::steady_clock::now() - groupStart >= kGroupTime) group.reset();
    }
    group.reset();
    bodies.save([&](const std::string& id) { return stored.holds(id); });
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncParseDeskMessages, " + trap(e).description);
  }
  return result;
}

}  // namespace nfy
