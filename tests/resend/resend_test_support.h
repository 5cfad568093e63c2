// What the pass's tests share: a saved-report folder in a sandbox, reports
// of a given age, and the fake poster.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/globals.h"
#include "resend/resend_pass.h"
#include "support/fake_components.h"
#include "support/sandbox.h"

namespace nfy::test {

class ResendPass : public ::testing::Test {
 protected:
  void SetUp() override { box.mkdirs("DeskPostLogs"); }
  void TearDown() override { resetAllGlobals(); }

  static std::string name(const std::string& id) { return "wpdcmsendmsgdskupd_N_1234_" + id + "_071520171305099.xml"; }
  static std::string body(const std::string& id) {
    return "<wpdcmsendmsgdskupd><mmid>77</mmid><msgid>" + id + "</msgid><status>2</status></wpdcmsendmsgdskupd>\r\n";
  }
  // What the service gets of a saved report: the body without the file's
  // final line break.
  static std::string posted(const std::string& id) {
    std::string b = body(id);
    return b.substr(0, b.size() - 2);
  }
  std::string path(const std::string& file) const { return box.path("DeskPostLogs/" + file); }
  // A saved report of message `id` whose file is `days` old.
  void report(const std::string& id, int days) const { file(name(id), body(id), days); }
  void file(const std::string& file, const std::string& bytes, int days) const {
    box.write("DeskPostLogs/" + file, bytes);
    std::filesystem::last_write_time(path(file),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * days));
  }
  bool kept(const std::string& id) const { return box.exists("DeskPostLogs/" + name(id)); }
  std::vector<std::string> postedBodies() const {
    std::vector<std::string> out;
    for (const auto& p : fakes.poster.posts) out.push_back(p.data);
    return out;
  }
  resend::PassOutcome pass(const resend::PassLimits& limits = {}) {
    return resend::deliverSavedReports(box.path("DeskPostLogs"), kUrl, limits);
  }
  size_t linesWith(const std::string& part) const {
    auto l = log.lines();
    return static_cast<size_t>(
        std::count_if(l.begin(), l.end(), [&](const std::string& s) { return s.find(part) != std::string::npos; }));
  }

  static constexpr const char* kUrl = "http://127.0.0.1:9/svc/tfr_wpdcmsendmsgdskupd.asp?mmid=77";
  Sandbox box;
  CapturedLog log{box};
  FakeComponents fakes;
};

}  // namespace nfy::test
