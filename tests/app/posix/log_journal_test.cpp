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

// The fields of one native-protocol datagram: "NAME=value\n", or "NAME\n"
// with a 64-bit little-endian length, the value and "\n".
Entry parseEntry(const std::string& d) {
  Entry e;
  for (size_t pos = 0; pos < d.size();) {
    size_t nl = d.find('\n', pos);
    if (nl == std::string::npos) break;
    size_t eq = d.find('=', pos);
    if (eq != std::string::npos && eq < nl) {
      e.emplace(d.substr(pos, eq - pos), d.substr(eq + 1, nl - eq - 1));
      pos = nl + 1;
      continue;
    }
    if (nl + 9 > d.size()) break;
    uint64_t n = 0;
    for (int i = 7; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(d[nl + 1 + i]);
    e.emplace(d.substr(pos, nl - pos), d.substr(nl + 9, n));
    pos = nl + 9 + n + 1;
  }
  return e;
}

// One datagram of the socket, or the content of the sealed file a large
// entry comes in; false when none is waiting.
bool receive(int sock, std::string& out) {
  std::vector<char> buf(4 << 20);
  char control[CMSG_SPACE(sizeof(int))] = {};
  iovec iov{buf.data(), buf.size()};
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  ssize_t n = recvmsg(sock, &mh, MSG_DONTWAIT);
  if (n < 0) return false;
  out.assign(buf.data(), static_cast<size_t>(n));
  for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    int fd;
    std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    out.clear();
    for (ssize_t got; (got = pread(fd, buf.data(), buf.size(), static_cast<off_t>(out.size()))) > 0;) {
      out.append(buf.data(), static_cast<size_t>(got));
    }
    close(fd);
  }
  return true;
}

std::string streamId(int fd) {
  struct stat st {};
  fstat(fd, &st);
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

struct JournalRun {
  int status = 0;  // wait status of the child
  std::vector<Entry> entries;
};

// Runs body in a child whose journal is a socket of the test's, with
// standard error a pipe whose reader has gone (a journal that restarted)
// and JOURNAL_STREAM naming it. The entries the journal received.
JournalRun runWithJournal(const std::function<void()>& body) {
  int result[2];
  if (pipe(result) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(result[0]);
    if (!isolateRun()) _exit(kCannotIsolate);
    int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strcpy(sa.sun_path, "/run/systemd/journal/socket");
    if (sock < 0 || bind(sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) _exit(kCannotIsolate);
    int broken[2];
    if (pipe(broken) != 0) _exit(kCannotIsolate);
    close(broken[0]);
    dup2(broken[1], STDERR_FILENO);
    close(broken[1]);
    signal(SIGPIPE, SIG_DFL);
    setenv("JOURNAL_STREAM", streamId(STDERR_FILENO).c_str(), 1);
    body();
    // Each entry to the parent: its length, then its bytes.
    for (std::string d; receive(sock, d);) {
      uint64_t n = d.size();
      if (write(result[1], &n, sizeof n) != sizeof n ||
          write(result[1], d.data(), d.size()) != static_cast<ssize_t>(d.size())) {
        _exit(1);
      }
    }
    _exit(0);
  }
  close(result[1]);
  JournalRun run;
  for (uint64_t n; read(result[0], &n, sizeof n) == sizeof n;) {
    std::string d(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = read(result[0], d.data() + got, n - got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    run.entries.push_back(parseEntry(d));
  }
  close(result[0]);
  waitpid(pid, &run.status, 0);
  return run;
}

TEST(LogJournal, ErrorLinesAreOneEntryAtErrorPriorityWhateverTheyHoldAndABrokenStreamStopsNothing) {
  test::Sandbox box;
  const std::string forged = "ERR : fncParseDeskMessages, unsafe message id " + std::string(49102, 'A') +
                             "\r\n<0>alert\n12/09/2026 06:00:00\tMSG : forged";
  JournalRun run = runWithJournal([&] {
    openLog(box.path("run.txt"));
    subWriteLog("MSG : progress stays in the file");
    subWriteLog(forged);
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
  if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == kCannotIsolate) {
    GTEST_SKIP() << "no private mount namespace here";
  }
  ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
      << "the child ended " << (WIFSIGNALED(run.status) ? "by signal " + std::to_string(WTERMSIG(run.status)) : "");

  const std::string shown = "ERR : fncParseDeskMessages, unsafe message id " + std::string(49102, 'A') +
                            "\\r\\n<0>alert\\n12/09/2026 06:00:00\tMSG : forged";
  const std::vector<std::string> expected = {shown, "ERR: Unable to find url in wpdcmgetmsgs",
                                             "ERR : in fnc ReadReg. Err : 1016::the store"};
  ASSERT_EQ(run.entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Entry& e = run.entries[i];
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

}  // namespace
}  // namespace nfy
