// Error lines reach systemd's journal when standard error is the stream that
// JOURNAL_STREAM names, and nowhere else; the log file keeps every line.
// The journal is a socket of the test's own: the writer runs in a child
// process with a private mount namespace, where the journal's socket name
// is bound by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/log.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

using Entry = std::multimap<std::string, std::string>;

constexpr int kCannotIsolate = 77;

bool writeFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// A mount namespace of this process's own (as root, or as the user of a
// new user namespace) with an empty /run.
bool isolateRun() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWNS) != 0) {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    writeFile("/proc/self/setgroups", "deny");
    if (!writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
      return false;
    }
  }
  return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") == 0 && mkdir("/run/systemd", 0755) == 0 &&
         mkdir("/run/systemd/journal", 0755) == 0;
}

// The fields of one native-protocol datagram, "NAME=value" lines (values
// without line breaks, as the writer's are, need no other form).
Entry parseEntry(const std::string& d) {
  Entry e;
  for (size_t pos = 0, nl; (nl = d.find('\n', pos)) != std::string::npos; pos = nl + 1) {
    size_t eq = d.find('=', pos);
    if (eq < nl) e.emplace(d.substr(pos, eq - pos), d.substr(eq + 1, nl - eq - 1));
  }
  return e;
}

std::string streamId(int fd) {
  struct stat st {};
  fstat(fd, &st);
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// Runs body in a child whose journal is a socket of the test's, with
// standard error a pipe whose reader has gone (a journal that restarted)
// and JOURNAL_STREAM naming it. The wait status of the child; the entries
// the journal received go to `entries`, each ended by a NUL.
int runWithJournal(const std::string& entries, const std::function<void()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!isolateRun()) _exit(kCannotIsolate);
    int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strcpy(sa.sun_path, "/run/systemd/journal/socket");
    int broken[2];
    if (sock < 0 || bind(sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || pipe(broken) != 0) {
      _exit(kCannotIsolate);
    }
    close(broken[0]);
    dup2(broken[1], STDERR_FILENO);
    close(broken[1]);
    signal(SIGPIPE, SIG_DFL);
    setenv("JOURNAL_STREAM", streamId(STDERR_FILENO).c_str(), 1);
    body();
    int out = open(entries.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char> buf(4 << 20);
    for (;;) {
      // An entry too large for a datagram comes as a memory file, which
      // the journal takes only when it is sealed against any change.
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
      iovec data{buf.data(), buf.size() - 1};
      msghdr msg{};
      msg.msg_iov = &data;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      ssize_t n = recvmsg(sock, &msg, MSG_DONTWAIT);
      if (n < 0) break;
      if (cmsghdr* c = CMSG_FIRSTHDR(&msg); c && c->cmsg_type == SCM_RIGHTS) {
        int mem = -1;
        std::memcpy(&mem, CMSG_DATA(c), sizeof mem);
        const int seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
        if (n != 0 || (fcntl(mem, F_GET_SEALS) & seals) != seals) _exit(2);
        n = pread(mem, buf.data(), buf.size() - 1, 0);
        close(mem);
      }
      buf[static_cast<size_t>(n)] = '\0';
      if (write(out, buf.data(), static_cast<size_t>(n) + 1) != n + 1) _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(LogJournal, ErrorLinesAreOneEntryAtErrorPriorityWhateverTheyHoldAndABrokenStreamStopsNothing) {
  test::Sandbox box;
  const std::string forged = "ERR : fncParseDeskMessages, unsafe message id " + std::string(49102, 'A') +
                             "\r\n<0>alert\n12/09/2026 06:00:00\tMSG : forged";
  // Beyond what one datagram carries.
  const std::string huge = "ERR : fncParseDeskMessages, unsafe message id " + std::string(1 << 20, 'B');
  int status = runWithJournal(box.path("journal"), [&] {
    openLog(box.path("run.txt"));
    subWriteLog("MSG : progress stays in the file");
    subWriteLog(forged);
    subWriteLog(huge);
    subWriteLog("ERR: Unable to find url in wpdcmgetmsgs");
    subWriteLogAndStderr("ERR : in fnc ReadReg. Err : 1016::the store");
    // Inherited by a program whose standard error is elsewhere: not its
    // journal. Standard error's reader is gone: the line is dropped, and
    // the run goes on.
    setenv("JOURNAL_STREAM", "1:2", 1);
    subWriteLog("ERR : not for the journal");
    subWriteLogAndStderr("ERR : to a standard error that nobody reads");
    setenv("JOURNAL_STREAM", "garbage", 1);
    subWriteLog("ERR : not for the journal either");
    int out = open(box.path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDERR_FILENO);
    close(out);
    subWriteLogAndStderr("ERR : on standard error\r\nMSG : forged");
    closeLog();
  });
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotIsolate) GTEST_SKIP() << "no private mount namespace here";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the child ended " << (WIFSIGNALED(status) ? "by signal " + std::to_string(WTERMSIG(status)) : "");
  std::vector<Entry> entries;
  const std::string received = box.read("journal");
  for (size_t pos = 0, end; (end = received.find('\0', pos)) != std::string::npos; pos = end + 1) {
    entries.push_back(parseEntry(received.substr(pos, end - pos)));
  }

  const std::string shown = "ERR : fncParseDeskMessages, unsafe message id " + std::string(49102, 'A') +
                            "\\r\\n<0>alert\\n12/09/2026 06:00:00\tMSG : forged";
  const std::vector<std::string> expected = {shown, huge, "ERR: Unable to find url in wpdcmgetmsgs",
                                             "ERR : in fnc ReadReg. Err : 1016::the store"};
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Entry& e = entries[i];
    EXPECT_EQ(e.count("MESSAGE"), 1u);
    EXPECT_EQ(e.find("MESSAGE")->second, expected[i]);
    ASSERT_EQ(e.count("PRIORITY"), 1u);
    EXPECT_EQ(e.find("PRIORITY")->second, "3");
    EXPECT_EQ(e.find("SYSLOG_IDENTIFIER")->second, "test_app");
  }
  EXPECT_EQ(box.read("stderr.txt"), "ERR : on standard error\\r\\nMSG : forged\n");
  std::string log = box.read("run.txt");
  EXPECT_NE(log.find("\tMSG : progress stays in the file\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t" + shown + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tERR : not for the journal either\r\n"), std::string::npos);
}

TEST(LogJournal, AJournalThatReadsNothingLosesLinesButNeverHoldsTheRun) {
  // The journal's socket is there but nobody reads it (a stopped journald):
  // its queue fills after a few entries. A run that waited there would be
  // ended by the alarm.
  test::Sandbox box;
  const int kLines = 3000;
  int status = runWithJournal(box.path("journal"), [&] {
    alarm(60);
    openLog(box.path("run.txt"));
    for (int i = 0; i < kLines; ++i) subWriteLog("ERR : line " + std::to_string(i));
    closeLog();
  });
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotIsolate) GTEST_SKIP() << "no private mount namespace here";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the child ended " << (WIFSIGNALED(status) ? "by signal " + std::to_string(WTERMSIG(status)) : "");
  const std::string received = box.read("journal");
  const auto entries = std::count(received.begin(), received.end(), '\0');
  EXPECT_GT(entries, 0);
  EXPECT_LT(entries, kLines);
  // The log file has every line, those the journal lost too.
  EXPECT_NE(box.read("run.txt").find("\tERR : line " + std::to_string(kLines - 1) + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace nfy
