// Writes keys of an INI file through the project's INI store, for the tests
// that kill a writer halfway or run two writers at once.
//
//   ini-writer cycle <file> <keys> <first>    writes forever: step i (from
//                                             <first> on) sets key "K<i mod keys>"
//                                             of section "Crash" to "<i>:" and
//                                             some padding
//   ini-writer many <file> <prefix> <count>   sets "<prefix><n>" = "<n>" in
//                                             section "Shared" for n < count
//   ini-writer scoped <file> <prefix> <count> the same, each key with a second
//                                             one ("<prefix><n>b") in one scope
//   ini-writer reply <inbox> <first> <count>  stores a reply of <count> new
//                                             messages (ids from <first> on)
//                                             as the program does
//   ini-writer mark-read <inbox> <id>         opens a message in the inbox
//                                             viewer's model, which marks it read
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/globals.h"
#include "inbox/ini_file.h"
#include "inbox/message_parse.h"
#include "viewer/inbox_model.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "cycle" && argc == 5) {
    const std::string file = argv[2];
    const long keys = std::atol(argv[3]);
    const std::string padding(300, 'x');
    for (long i = std::atol(argv[4]);; ++i) {
      nfy::ini::writeValue(file, "Crash", "K" + std::to_string(i % keys), std::to_string(i) + ":" + padding);
    }
  }
  if (mode == "many" && argc == 5) {
    const std::string file = argv[2], prefix = argv[3];
    const long count = std::atol(argv[4]);
    int failures = 0;
    for (long n = 0; n < count; ++n) {
      nfy::ini::Outcome outcome = nfy::ini::writeValue(file, "Shared", prefix + std::to_string(n), std::to_string(n));
      if (outcome != nfy::ini::Outcome::Ok) {
        std::fprintf(stderr, "write %s%ld failed (%d)\n", prefix.c_str(), n, static_cast<int>(outcome));
        ++failures;
      }
    }
    return failures == 0 ? 0 : 1;
  }
  if (mode == "scoped" && argc == 5) {
    const std::string file = argv[2], prefix = argv[3];
    const long count = std::atol(argv[4]);
    int failures = 0;
    for (long n = 0; n < count; ++n) {
      nfy::ini::Scope scope(file);
      nfy::ini::writeValue(file, "Shared", prefix + std::to_string(n), std::to_string(n));
      nfy::ini::writeValue(file, "Shared", prefix + std::to_string(n) + "b", std::to_string(n));
      for (const nfy::ini::Lost& lost : scope.commit()) {
        std::fprintf(stderr, "write %s%ld lost (%s)\n", prefix.c_str(), n, lost.section.c_str());
        ++failures;
      }
    }
    return failures == 0 ? 0 : 1;
  }
  if (mode == "reply" && argc == 5) {
    nfy::sInboxINI_Read = nfy::sInboxINI_Write = argv[2];
    nfy::sMsgFolder = std::string(argv[2]) + ".messages";
    const long first = std::atol(argv[3]), count = std::atol(argv[4]);
    std::string reply = "<dcmgetmsgstatus>";
    for (long id = first; id < first + count; ++id) {
      reply += "<msg><id>" + std::to_string(id) + "</id><subject>Message " + std::to_string(id) +
               "</subject><content>Body</content><usractid>0</usractid><timetolive>1</timetolive>"
               "<timetolivedays>7</timetolivedays><createdby>test</createdby><status>0</status>"
               "<dcdwntime>12/08/2026 08:00:00</dcdwntime></msg>";
    }
    reply += "</dcmgetmsgstatus>";
    return nfy::fncParseDeskMessages(reply) ? 0 : 1;
  }
  if (mode == "mark-read" && argc == 4) {
    nfy::sInboxINI_Read = nfy::sInboxINI_Write = argv[2];
    nfy::sUserName = "viewer";
    return nfy::viewer::InboxModel().markRead(argv[3]) ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: ini-writer cycle <file> <keys> <first> | many|scoped <file> <prefix> <count> | reply <inbox> "
               "<first> <count> | mark-read <inbox> <id>\n");
  return 2;
}
