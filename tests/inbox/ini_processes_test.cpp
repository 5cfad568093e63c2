// The INI store with several processes: a writer killed at any moment, and
// two writers at once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "inbox/child_process.h"
#include "inbox/ini_document.h"
#include "platform/file_ops.h"
#include "support/sandbox.h"

namespace nfy {
namespace {

using test::ChildProcess;

std::string absolutePath(const test::Sandbox& box, const std::string& name) {
  return std::filesystem::absolute(box.path(name)).string();
}

// The file is whole (exactly what the store writes for its content) and its
// keys are those after some step m of the writer: key j holds the last step
// i <= m with i mod keys = j. Returns m.
long checkCrashFile(const std::string& bytes, long keys, const std::string& padding) {
  ini::Document doc = ini::Document::parse(bytes);
  std::string again;
  doc.serializeTo(again);
  EXPECT_EQ(again, bytes) << "the file is not whole";
  std::map<long, long> steps;  // key -> step
  long last = 0;
  for (const ini::Section s : doc.sections()) {
    if (s.name().empty()) continue;
    EXPECT_EQ(s.name(), "Crash");
    for (const ini::Key k : s.keys()) {
      const std::string value(k.value()), name(k.name());
      long step = std::atol(value.c_str());
      EXPECT_EQ(value, std::to_string(step) + ":" + padding) << name;
      steps[std::atol(name.c_str() + 1)] = step;
      last = std::max(last, step);
    }
  }
  for (long j = 0; j < keys; ++j) {
    long expected = last - ((last - j) % keys + keys) % keys;  // the last i <= last with i % keys == j
    if (expected < 1) {
      EXPECT_EQ(steps.count(j), 0u) << "K" << j;
    } else {
      EXPECT_EQ(steps[j], expected) << "K" << j << " after step " << last;
    }
  }
  return last;
}

TEST(IniProcesses, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  test::Sandbox box;
  const std::string file = absolutePath(box, "crash.ini");
  const long keys = 20;
  const std::string padding(300, 'x');
  std::mt19937 rng(4242);
  long last = 0;
  for (int round = 0; round < 12; ++round) {
    platform::FileStamp before = platform::fileStamp(file);
    ChildProcess child(test::toolPath("ini-writer"), {"cycle", file, std::to_string(keys), std::to_string(last + 1)});
    // Wait until it writes (a process start under Wine is slow), then let it
    // run a random while.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (platform::fileStamp(file) == before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40000));
    child.kill();
    child.wait();
    long now = checkCrashFile(test::readFile(file), keys, padding);
    ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
    EXPECT_GT(now, last) << "round " << round;
    last = now;
  }
}

TEST(IniProcesses, TwoWritersLoseNoKeys) {
  test::Sandbox box;
  const std::string file = absolutePath(box, "shared.ini");
  const int count = 1000;
  // One writes key by key, the other two keys per scope.
  ChildProcess a(test::toolPath("ini-writer"), {"many", file, "A", std::to_string(count)});
  ChildProcess b(test::toolPath("ini-writer"), {"scoped", file, "B", std::to_string(count)});
  EXPECT_EQ(a.wait(), 0);
  EXPECT_EQ(b.wait(), 0);
  ini::Document doc = ini::Document::parse(test::readFile(file));
  ASSERT_EQ(doc.sections().size(), 2u);
  std::map<std::string, std::string> found;
  for (const ini::Key k : doc.sections()[1].keys()) found[std::string(k.name())] = k.value();
  EXPECT_EQ(found.size(), 3u * count);
  for (int n = 0; n < count; ++n) {
    EXPECT_EQ(found["A" + std::to_string(n)], std::to_string(n));
    EXPECT_EQ(found["B" + std::to_string(n)], std::to_string(n));
    EXPECT_EQ(found["B" + std::to_string(n) + "b"], std::to_string(n));
  }
}

TEST(IniProcesses, AWriterKilledWhileStoringAReplyLeavesEveryMessageWholeOrAbsent) {
  test::Sandbox box;
  const std::string inbox = absolutePath(box, "nfyDeskInbox_user.ini");
  std::filesystem::create_directories(inbox + ".messages");
  const std::vector<std::string> keys = {"DownloadedMNTime",
                                         "Subject",
                                         "UserActionID",
                                         "UserActionData",
                                         "FromDate",
                                         "ToDate",
                                         "TimeToLive",
                                         "TimeToLiveHrs",
                                         "TimeToLiveDays",
                                         "TimeToLiveDate",
                                         "CreatedBy",
                                         "MsgStatus",
                                         "ReadStatus",
                                         "DownloadedDCTime",
                                         "Download_InformedToUser",
                                         "Download_InformedAgentTime",
                                         "RequireUserConfirmation"};
  std::mt19937 rng(1717);
  size_t storedSome = 0;
  for (int round = 0; round < 8; ++round) {
    std::filesystem::remove(inbox);
    ChildProcess child(test::toolPath("ini-writer"), {"reply", inbox, std::to_string(1000 * (round + 1)), "400"});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(inbox) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300000));
    child.kill();
    child.wait();
    const std::string bytes = test::readFile(inbox);
    ini::Document doc = ini::Document::parse(bytes);
    std::string again;
    doc.serializeTo(again);
    ASSERT_EQ(again, bytes) << "the file is not whole, round " << round;
    size_t messages = 0;
    std::string total, unread;
    for (const ini::Section s : doc.sections()) {
      if (s.name().empty()) continue;
      if (s.name() == "MsgCount") {
        for (const ini::Key k : s.keys()) {
          if (k.name() == "TotalMsgs") total = k.value();
          if (k.name() == "UNREADMsgs") unread = k.value();
        }
        continue;
      }
      ++messages;
      std::vector<std::string> names;
      for (const ini::Key k : s.keys()) names.emplace_back(k.name());
      EXPECT_EQ(names, keys) << "message " << s.name() << ", round " << round;
    }
    EXPECT_EQ(total, std::to_string(messages)) << "round " << round;
    EXPECT_EQ(unread, std::to_string(messages)) << "round " << round;
    storedSome += messages > 0 && messages < 400;
  }
  EXPECT_GT(storedSome, 0u) << "no round was cut in the middle of the reply";
}

}  // namespace
}  // namespace nfy
