// The clean-up pass over the stored messages: recalled, read and expired
// messages are removed, reported, and their body files deleted.
#include "lifecycle/expiry.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <exception>
#include <iterator>
#include <unordered_set>
#include <vector>

#include "app/files.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "base/text.h"
#include "inbox/body_file.h"
#include "inbox/ini_access.h"
#include "inbox/run_summary.h"
#include "lifecycle/status_report.h"
#include "lifecycle/staying_record.h"
#include "lifecycle/user_status.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "platform/system.h"

namespace nfy {
namespace {

enum class Reason { None, Recalled, Read, Expired };

// The local time now, to the second; looked up again only when the second
// changed (a pass over thousands of messages asks for it per message).
DateTime now() {
  static std::time_t last = -1;
  static DateTime moment;
  const std::time_t t = platform::currentTime();
  if (t != last) {
    moment = platform::localDateTime(t);
    last = t;
  }
  return moment;
}

// The moment a count of hours or days after `base` falls on. A fraction
// counts as the nearest whole unit; an amount that leaves the calendar's
// years (100 to 9999) is an overflow.
DateTime after(const DateTime& base, double amount, long long unitSeconds) {
  const double whole = std::round(amount);
  // Ten thousand years in either direction is beyond any stored date.
  if (!(std::fabs(whole) * static_cast<double>(unitSeconds) < 3.2e11)) raiseError(err::kOverflow);
  DateTime e = base.plusSeconds(static_cast<long long>(whole) * unitSeconds);
  if (e.year < 100 || e.year > 9999) raiseError(err::kOverflow);
  return e;
}

// The keys the three rules look at, read from the message's section in one
// look.
struct StoredRules {
  std::string status, action, read;
  TimeToLive ttl;
};

StoredRules storedRules(const std::string& id) {
  static constexpr const char* kKeys[] = {"MsgStatus",     "UserActionID",   "ReadStatus",     "TimeToLive",
                                          "TimeToLiveHrs", "TimeToLiveDays", "TimeToLiveDate", "DownloadedMNTime"};
  std::vector<std::string> v =
      readIniKeys(id, {kKeys[0], kKeys[1], kKeys[2], kKeys[3], kKeys[4], kKeys[5], kKeys[6], kKeys[7]});
  StoredRules r{std::move(v[0]), std::move(v[1]), std::move(v[2]), {}};
  // Each key is asked for once: its value is moved, not copied.
  r.ttl = storedTimeToLive([&](const char* key) {
    for (size_t i = 3; i < std::size(kKeys); ++i)
      if (std::string_view(key) == kKeys[i]) return std::move(v[i]);
    return std::string();
  });
  return r;
}

bool isRecalled(const StoredRules& r) { return leadingNumber(r.status) == 1; }
bool isReadAndDone(const StoredRules& r) { return trimView(r.action) == "0" && iequals(trimView(r.read), "READ"); }

void logExpired(const std::string& id, const std::string& subject) {
  subWriteLog("MSG : ----Msg ID. " + id + " [Subject: " + subject + "] has been EXPIRED.");
}

// The time-to-live rule of one message, with its log lines; true when its
// time has run out at `moment`.
bool timeToLiveOver(const std::string& id, const std::string& subject, const TimeToLive& ttl, const DateTime& moment) {
  if (ttl.inHours()) {
    subWriteLog(
        "MSG : Msg will be expire after, Number of hours after the msgs is downloaded by the "
        "communicator agent :: " +
        ttl.amount);
  } else if (ttl.inDays()) {
    subWriteLog(
        "MSG : Msg will be expire after, Number of days after the msg is downloaded by the "
        "communicator agent :: " +
        ttl.amount);
  } else if (ttl.byDate()) {
    subWriteLog("MSG : Message will expire after :: " + ttl.date);
  }
  if (!hasExpiry(ttl)) return false;  // no time to live: the message stays
  if (ttl.byDate()) subWriteLog("MSG : Comparing " + moment.stamp() + " with " + ttl.date);
  const DateTime expiry = *expiryMoment(ttl);
  if (!ttl.byDate()) subWriteLog("MSG : Comparing " + moment.stamp() + " with " + expiry.stamp());
  if (!(expiry < moment)) return false;
  if (ttl.inHours()) {
    logExpired(id, subject);
  } else if (ttl.inDays()) {
    subWriteLog("MSG : Message will be deleted asNumber of days after the msg is downloaded filter violated. ");
  } else {
    subWriteLog("MSG : Message will be deleted as Set Date / time filter violated. ");
  }
  return true;
}

// The rules in their order, each with its log lines.
Reason reasonToRemove(const std::string& id, const StoredRules& rules, const DateTime& moment) {
  const std::string subject = readIni(id, "Subject");
  if (isRecalled(rules)) {
    subWriteLog("MSG : ----Msg ID. " + id + " [Subject: " + subject + "] has been RECALLED. So it will be deleted. ");
    return Reason::Recalled;
  }
  if (isReadAndDone(rules)) {
    subWriteLog("MSG : Was read by user, so it will be deleted");
    return Reason::Read;
  }
  return timeToLiveOver(id, subject, rules.ttl, moment) ? Reason::Expired : Reason::None;
}

// The same rules without a line: whether the message stays, and when it
// expires if it does. Raises where reasonToRemove raises.
bool staysQuietly(const StoredRules& rules, const DateTime& moment, std::optional<DateTime>& expiry) {
  if (isRecalled(rules) || isReadAndDone(rules)) return false;
  expiry = expiryMoment(rules.ttl);
  return !(expiry && *expiry < moment);
}

// The messages this run wrote (new or changed by its reply), by the name
// their sections are found by (case and blanks around aside).
std::unordered_set<std::string> idsWrittenByThisRun() {
  std::unordered_set<std::string> ids;
  for (const std::string& id : writtenIds) ids.insert(toUpper(trim(id)));
  return ids;
}

// The messages that earlier runs stored (also those this run's reply
// repeated as the inbox holds them) and that stay as they are: the log tells
// them in one line, not in three lines each on every run (the run that
// stored or changed a message logged its rules in full, and so does the run
// that removes it).
struct StayingEarlier {
  long count = 0;
  std::string nextId;
  std::optional<DateTime> next;

  void add(const std::string& id, const std::optional<DateTime>& expiry) {
    ++count;
    if (expiry && (!next || *expiry < *next)) {
      next = expiry;
      nextId = id;
    }
  }
  void log() const {
    if (count == 0) return;
    const std::string stay = "MSG : Messages stored by earlier runs that stay: " + std::to_string(count) + "; ";
    subWriteLog(next ? stay + "the next to expire: " + nextId + ", at " + next->stamp()
                     : stay + "none has a time to live");
  }
};

// The digest of the inbox text a pass judges, when a record of it may be
// used and kept: the inbox read is the one written (the record lies beside
// it). None otherwise, and when the text has none (the pass then judges
// every message and records nothing).
std::optional<std::uint64_t> settledDigest() {
  if (sInboxINI_Read != sInboxINI_Write) return std::nullopt;
  try {
    return iniContentDigest(sInboxINI_Read);
  } catch (const std::exception&) {
    return std::nullopt;  // the pass meets the same error per message, and logs it there
  }
}

// A pass over this same inbox text found each of its `listed` messages
// staying, and none has expired since: the pass finds the same, and logs
// what that one found.
bool staysAsRecorded(const std::optional<StayingRecord>& record, std::uint64_t digest, long listed) {
  if (!record || record->digest != digest || record->count != listed) return false;
  if (record->next && *record->next < now()) return false;
  StayingEarlier{record->count, record->nextId, record->next}.log();
  return true;
}

// Records what a pass that found every message staying found, unless the
// record there says so already (an idle run writes nothing). A record that
// cannot be written only costs the next run a full pass.
void keepStayingRecord(const std::optional<StayingRecord>& recorded, const StayingRecord& found) {
  if (recorded == found) return;
  writeBesideInbox(stayingRecordPath(sInboxINI_Write), [&] { return writeStayingRecord(sInboxINI_Write, found); });
}

// A message of an earlier run judged without a line: true when it stays,
// with the moment it expires. Its rules, when they could be read, are kept
// for the judgement with lines; a message that raises is judged again with
// them, after its first line, and raises there.
bool judgedStaying(const std::string& id, const DateTime& moment, std::optional<StoredRules>& rules,
                   std::optional<DateTime>& expiry) {
  try {
    rules = storedRules(id);
    return staysQuietly(*rules, moment, expiry);
  } catch (const std::exception&) {
    rules.reset();
    return false;
  }
}

// Keeps the subject index right when `id` goes (the summary's counts
// follow the sections by themselves).
void forgetConfirmation(const std::string& id) {
  const std::string own = readIni(id, "RequireUserConfirmation");
  if (id != readIni("MsgCount", "MSGId")) return;  // not the message the popup names: the index stays
  writeSummary("MSGId", "0");
  if (!(confirmationNumber(own) > 0)) return;
  writeSummary("Subject", "");
  // The count still holds this message until the change is written.
  if (leadingNumber(readIni("MsgCount", "RequireUserConfirmation")) - 1 > 0) fncSetSubject(id);
}

DeliveryReport removeFromInbox(const std::string& id, Reason reason);

// Removes one message through the outbox: its report is saved before the
// removal is committed (and deleted again when the commit fails), posted
// after it, and its file deleted once the service accepted it. A removal is
// thus never reported without having happened, and never lost to a kill or
// a service that cannot be reached.
void removeMessage(const std::string& id, Reason reason) {
  enum class Fate { Stays, Removed, RemovedByAnother } fate = Fate::Stays;
  OutboxReport report;
  {
    IniWriteScope oneMessage(sInboxINI_Write);
    report = prepareOutboxReport(removeFromInbox(id, reason));
    oneMessage.guard({[&](const IniDocument* changedMeanwhile, IniEdit*) {
                        // Another run (or the viewer) removed it meanwhile:
                        // that one reports it.
                        if (changedMeanwhile && !holdsSection(*changedMeanwhile, id)) {
                          fate = Fate::RemovedByAnother;
                          return true;
                        }
                        if (!saveOutboxReport(report)) return false;
                        fate = Fate::Removed;
                        return true;
                      },
                      [&](bool written) {
                        if (written || fate != Fate::Removed) return;
                        discardOutboxReport(report);
                        fate = Fate::Stays;
                      }});
    oneMessage.commit();
  }
  if (fate != Fate::Removed) return;
  // The report is posted after the replace: the post may take up to a
  // minute, and the inbox must not wait for it (the viewer may mark a
  // message read meanwhile).
  postOutboxReport(report);
  // Only an id that is a plain file name names a body file: any other
  // section was not stored by the program and leads nowhere on disk.
  if (!isSafeMessageId(id)) return;
  const std::string body = sDataPath + paths::messagesFolder() + paths::sep() + id + ".dat";
  if (files::fileExists(body)) {
    subWriteLog("MSG : Deleting file :: " + body);
    files::deleteFile(body);
  }
}

// Removes the message's section and keeps the subject index right; the
// report of its removal.
DeliveryReport removeFromInbox(const std::string& id, Reason reason) {
  forgetConfirmation(id);

  DeliveryReport r;
  r.msgId = id;
  r.dcDownloadTime = readIni(id, "DownloadedDCTime");
  r.mnDownloadTime = readIni(id, "DownloadedMNTime");
  r.mnInformTime = readIni(id, "Download_InformedAgentTime");
  r.informedTo = readIni(id, "Download_InformedToUser");
  r.displayedTo = readIni(id, "DisplayedToUser");
  r.mnDisplayTime = readIni(id, "DisplayedToUserMNTime");
  r.repliedBy = readIni(id, "RepliedByUser");
  const std::string repliedAt = readIni(id, "RepliedByUserMNTime");

  fncDeleteINISection(id, sInboxINI_Write);

  if (reason == Reason::Expired) {
    r.mnReplyTime = repliedAt;
    r.mnExpiryTime = platform::nowStamp();
    r.status = "2";
  } else if (reason == Reason::Recalled) {
    r.status = "4";
    r.mnRecallTime = platform::nowStamp();
  } else {
    r.status = "7";
  }
  return r;
}

}  // namespace

void fncDeleteExpiredMsgs() {
  try {
    subWriteLog("MSG : In fncDeleteExpiredMsgs");
    const std::string list = fncGetSectionNames();
    if (trim(list).empty()) {
      subWriteLog("MSG : No messages found.");
      return;
    }
    subWriteLog("MSG : Messages sections found :: " + list);
    // The pass reads every message's keys: the inbox is looked at on the
    // disk once, not per key (a removal still takes it as it is then).
    IniReadSnapshot onePass(sInboxINI_Read);
    const std::unordered_set<std::string> writtenNow = idsWrittenByThisRun();
    const long listed = static_cast<long>(std::count(list.begin(), list.end(), ',')) + 1;
    const std::optional<std::uint64_t> digest = settledDigest();
    // Only a text whose counts are true is recorded: the next run takes the
    // record for them too.
    const bool countsTrue = digest && inboxCountsKnownTrue();
    // This run's messages get their lines: only a pass without them is
    // taken from a record.
    const std::optional<StayingRecord> recorded = digest ? readStayingRecord(sInboxINI_Write) : std::nullopt;
    if (digest && writtenNow.empty() && staysAsRecorded(recorded, *digest, listed)) return;
    const std::vector<std::string> ids = splitAt(list, ',');
    // Which of them this run wrote, and how many earlier runs stored.
    std::vector<bool> byThisRun(ids.size(), false);
    long earlierCount = static_cast<long>(ids.size());
    for (size_t i = 0; !writtenNow.empty() && i < ids.size(); ++i) {
      byThisRun[i] = writtenNow.count(toUpper(trimView(ids[i]))) > 0;
      if (byThisRun[i]) --earlierCount;
    }
    // A run that stored messages into the inbox a record describes, which
    // nothing else changed since: the messages of earlier runs are the
    // recorded ones, and stay as recorded; only this run's are judged.
    const bool earlierAsRecorded = recorded && !writtenNow.empty() && inboxUnchangedByOthersSince(recorded->digest) &&
                                   !(recorded->next && *recorded->next < now()) && earlierCount == recorded->count;
    // Those of earlier runs that stay; all that stay, for the record.
    StayingEarlier earlier, staying;
    if (earlierAsRecorded) earlier = staying = {recorded->count, recorded->nextId, recorded->next};
    for (size_t i = 0; i < ids.size(); ++i) {
      const std::string& id = ids[i];
      // One message that cannot be handled (an unreadable date, a count that
      // is not a number, a body file that cannot be deleted) is logged and
      // left for the next run; it must not keep every other message stored.
      try {
        std::optional<StoredRules> rules;
        const DateTime moment = now();
        // A message of an earlier run that stays is only counted; one that
        // goes, or that cannot be handled, is logged in full.
        const bool writtenByThisRun = byThisRun[i];
        if (!writtenByThisRun && earlierAsRecorded) continue;
        std::optional<DateTime> expiry;
        if (!writtenByThisRun && judgedStaying(id, moment, rules, expiry)) {
          earlier.add(id, expiry);
          staying.add(id, expiry);
          continue;
        }
        subWriteLog("MSG : ----------------MSG ID [" + id + "]-------------------------------");
        if (!rules) rules = storedRules(id);
        const Reason reason = reasonToRemove(id, *rules, moment);
        if (reason == Reason::None && staysQuietly(*rules, moment, expiry)) staying.add(id, expiry);
        if (reason != Reason::None) removeMessage(id, reason);
      } catch (const std::exception& e) {
        subWriteLog("ERR : fncDeleteExpiredMsgs, " + trap(e).description);
      }
    }
    earlier.log();
    if (digest && countsTrue && staying.count == listed)
      keepStayingRecord(recorded, {*digest, staying.count, staying.nextId, staying.next});
  } catch (const std::exception& e) {
    subWriteLog("ERR : fncDeleteExpiredMsgs, " + trap(e).description);
  }
}

bool hasExpiry(const TimeToLive& ttl) {
  if (trimView(ttl.downloaded).empty()) return false;
  if (ttl.inHours() || ttl.inDays()) return leadingNumber(ttl.amount) != 0;
  return ttl.byDate() && !trimView(ttl.date).empty();
}

std::optional<DateTime> expiryMoment(const TimeToLive& ttl) {
  if (!hasExpiry(ttl)) return std::nullopt;
  if (ttl.byDate()) return parseStoredDateTime(ttl.date);
  return after(parseStoredDateTime(ttl.downloaded), leadingNumber(ttl.amount), ttl.inHours() ? 3600LL : 86400LL);
}

}  // namespace nfy
