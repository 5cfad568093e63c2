// Error lines reach systemd's journal when standard error is the stream that
// JOURNAL_STREAM names, and nowhere else; the log file keeps every line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/log.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

// Points standard error at a file of the sandbox for the test's lifetime.
class StderrToFile {
 public:
  explicit StderrToFile(const std::string& path) : saved_(dup(STDERR_FILENO)) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  ~StderrToFile() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    unsetenv("JOURNAL_STREAM");
  }
  // The JOURNAL_STREAM value systemd would set for the current standard error.
  static std::string id() {
    struct stat st {};
    fstat(STDERR_FILENO, &st);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }

 private:
  int saved_;
};

TEST(LogJournal, ErrorLinesGoToTheJournalStreamOnlyWhenStandardErrorIsThatStream) {
  test::Sandbox box;
  {
    StderrToFile journal(box.path("journal.txt"));
    test::CapturedLog log(box);
    setenv("JOURNAL_STREAM", StderrToFile::id().c_str(), 1);
    subWriteLog("MSG : progress stays in the file");
    subWriteLog("ERR : In Main, 13:Type mismatch");
    subWriteLog("ERR : two\nlines");
    subWriteLog("ERR: Unable to find url in wpdcmgetmsgs");
    // Inherited by a program whose standard error is elsewhere: not its journal.
    setenv("JOURNAL_STREAM", "1:2", 1);
    subWriteLog("ERR : not for the journal");
    setenv("JOURNAL_STREAM", "garbage", 1);
    subWriteLog("ERR : not for the journal either");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"MSG : progress stays in the file", "ERR : In Main, 13:Type mismatch",
                                        "ERR : two\nlines", "ERR: Unable to find url in wpdcmgetmsgs",
                                        "ERR : not for the journal", "ERR : not for the journal either"}));
  }
  EXPECT_EQ(box.read("journal.txt"),
            "<3>ERR : In Main, 13:Type mismatch\n<3>ERR : two lines\n<3>ERR: Unable to find url in wpdcmgetmsgs\n");
}

}  // namespace
}  // namespace nfy
