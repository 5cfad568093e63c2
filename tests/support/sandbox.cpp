#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/globals.h"
#include "app/log.h"
#include "inbox/ini_file.h"
#include "inbox/run_summary.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace nfy::test {

Sandbox::Sandbox() {
  static std::atomic<int> counter{0};
  auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "sandbox";
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
  }
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path p = fs::path(NFY_TEST_BINARY_DIR) / "test-sandboxes" /
               (name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(p);
  dir_ = platform::nativePath(p.string()) + platform::kPathSep;
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string Sandbox::path(const std::string& relative) const { return dir_ + platform::nativePath(relative); }
void Sandbox::mkdirs(const std::string& relative) const { fs::create_directories(path(relative)); }

void Sandbox::write(const std::string& relative, const std::string& bytes) const {
  fs::path p = path(relative);
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string Sandbox::read(const std::string& relative) const { return readFile(path(relative)); }
bool Sandbox::exists(const std::string& relative) const { return fs::exists(path(relative)); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

CapturedLog::CapturedLog(const Sandbox& box) : path_(box.path("captured-log.txt")) { openLog(path_); }
CapturedLog::~CapturedLog() { closeLog(); }

std::string CapturedLog::text() const {
  flushLog();
  return readFile(path_);
}
void CapturedLog::reopen() const { openLog(path_); }

std::vector<std::string> CapturedLog::lines() const {
  std::vector<std::string> out;
  std::string all = text();
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find("\r\n", pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    pos = end + 2;
    size_t tab = line.find('\t');
    std::string message = tab == std::string::npos ? line : line.substr(tab + 1);
    // Banner lines are written by every opening of the log.
    if (message == std::string(85, '*') || message == "MSG : Preprocessing : Application started") continue;
    out.push_back(message);
  }
  return out;
}

void resetAllGlobals() {
  resetRunGlobals();
  for (std::string* s :
       {&sTotalMsgs, &sUnreadMsgs, &sReqConfirmMsgs, &sMsgID, &sSubject, &sMsgSubject, &sConfirmMsgID}) {
    s->clear();
  }
  arrMessages.clear();
  writtenIds.clear();
  lNewMsgCount = 0;
}

std::string startWithInbox(const Sandbox& box) {
  resetAllGlobals();
  ini::forgetCachedFiles();
  sInboxINI_Read = sInboxINI_Write = box.path("nfyDeskInbox_user.ini");
  return sInboxINI_Write;
}

}  // namespace nfy::test
