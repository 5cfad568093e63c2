// The cost of an idle run on a large inbox: an inbox of 20,000 messages
// (about 375 bytes each, 7.5 MB) parsed once, 8 key reads per message, and
// one pass of the counts rule. The reads are timed under a ReadSnapshot (as
// the clean-up pass reads) and without one (a look at the file per read),
// key by key and with readValues. Optional arguments: the number of
// messages, the number of runs, and "snapshot" to leave out the reads
// without a snapshot (which are mostly the system's look at the file).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inbox/ini_access.h"
#include "inbox/ini_document.h"
#include "inbox/ini_file.h"

namespace {

double msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The keys each message holds, as the program stores a reply.
std::string messageText(int id) {
  static const char* const fixed[] = {"MsgStatus=NEW",
                                      "UserActionID=0",
                                      "UserActionData=",
                                      "TimeToLive=1",
                                      "TimeToLiveHrs=0",
                                      "TimeToLiveDays=7",
                                      "DownloadedMNTime=12/08/2026 08:00:00",
                                      "FromDate=12/08/2026",
                                      "ToDate=19/08/2026",
                                      "CreatedBy=IT",
                                      "Download_InformedToUser=1",
                                      "DisplayedToUser=1",
                                      "Priority=2",
                                      "MsgType=1",
                                      "PopupShown=1",
                                      "Sender=Desk",
                                      "Level=1",
                                      "Shown=0"};
  const std::string n = std::to_string(id);
  std::string s = "[" + n + "]\r\nSubject=Servers down " + n + "\r\n";
  s += id % 3 == 0 ? "ReadStatus=READ\r\n" : "ReadStatus=UNREAD\r\n";
  s += id % 5 == 0 ? "RequireUserConfirmation=1\r\n" : "RequireUserConfirmation=0\r\n";
  for (const char* line : fixed) (s += line) += "\r\n";
  return s;
}

const char* const kReadKeys[] = {"Subject",    "MsgStatus",      "ReadStatus",       "UserActionID",
                                 "TimeToLive", "TimeToLiveDays", "DownloadedMNTime", "RequireUserConfirmation"};

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  const bool plain = !(argc > 3 && std::string(argv[3]) == "snapshot");
  namespace fs = std::filesystem;
  fs::path dir = fs::absolute(".") /
                 ("nfy-inbox-bench-" + std::to_string(fs::file_time_type::clock::now().time_since_epoch().count()));
  fs::create_directories(dir);
  const std::string file = (dir / "inbox.ini").string();

  std::string text;
  int unread = 0, awaiting = 0;
  for (int m = 0; m < messages; ++m) {
    const int id = 100000 + m;
    unread += id % 3 != 0;
    awaiting += id % 5 == 0;
  }
  text += "[MsgCount]\r\nTotalMsgs=" + std::to_string(messages) + "\r\nUNREADMsgs=" + std::to_string(unread) +
          "\r\nRequireUserConfirmation=" + std::to_string(awaiting) + "\r\nMSGId=0\r\nSubject=\r\n";
  for (int m = 0; m < messages; ++m) text += messageText(100000 + m);
  std::ofstream(file, std::ios::binary) << text;
  // Older than the settling time of the store, as an inbox of an idle run is.
  fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::minutes(1));

  std::vector<std::string> ids;
  for (int m = 0; m < messages; ++m) ids.push_back(std::to_string(100000 + m));

  std::vector<double> parse, loadParse, snapReads, plainReads, counts, total;
  size_t check = 0;
  for (int r = 0; r < runs; ++r) {
    auto t = std::chrono::steady_clock::now();
    nfy::ini::Document doc = nfy::ini::Document::parse(text);
    parse.push_back(msSince(t));

    nfy::ini::forgetCachedFiles();
    t = std::chrono::steady_clock::now();
    check += nfy::ini::readValue(file, "MsgCount", "TotalMsgs").size();
    loadParse.push_back(msSince(t));

    t = std::chrono::steady_clock::now();
    {
      nfy::ini::ReadSnapshot snapshot(file);
      for (const std::string& id : ids)
        for (const char* key : kReadKeys) check += nfy::ini::readValue(file, id, key).size();
    }
    snapReads.push_back(msSince(t));

    if (plain) {
      t = std::chrono::steady_clock::now();
      for (const std::string& id : ids)
        for (const char* key : kReadKeys) check += nfy::ini::readValue(file, id, key).size();
      plainReads.push_back(msSince(t));
    }

    t = std::chrono::steady_clock::now();
    nfy::ini::KeyEdit edit(doc);
    nfy::keepInboxCountsTrue(edit);
    counts.push_back(msSince(t));
    if (edit.changed()) std::fprintf(stderr, "the counts pass changed counts that were true\n");
    total.push_back(loadParse.back() + snapReads.back() + counts.back());
  }
  std::printf("inbox: %d messages, %zu bytes (%.0f per message); median of %d runs\n", messages, text.size(),
              static_cast<double>(text.size()) / messages, runs);
  std::printf("  Document::parse                          %8.2f ms\n", median(parse));
  std::printf("  first read (file read + parse)           %8.2f ms\n", median(loadParse));
  std::printf("  %7zu readValue under a ReadSnapshot    %8.2f ms\n", ids.size() * 8, median(snapReads));
  if (plain) std::printf("  %7zu readValue, a look at the file each %7.2f ms\n", ids.size() * 8, median(plainReads));
  std::printf("  counts pass (keepInboxCountsTrue)        %8.2f ms\n", median(counts));
  std::printf("  first read + snapshot reads + counts     %8.2f ms\n", median(total));
  if (check == 0) std::fprintf(stderr, "nothing was read\n");
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
