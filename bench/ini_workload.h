// The inbox workload of the INI benchmarks: store n messages of 18 keys
// each, read every key back, list the sections; and the floor the store is
// measured against: one flushed replace of the whole file per message.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "inbox/ini_file.h"
#include "platform/file_ops.h"

namespace nfy::bench {

struct IniApi {
  virtual ~IniApi() = default;
  virtual void write(const std::string& file, const std::string& s, const std::string& k, const std::string& v) = 0;
  virtual std::string read(const std::string& file, const std::string& s, const std::string& k) = 0;
  virtual size_t list(const std::string& file) = 0;  // the number of sections
  // Around the writes of one message.
  virtual void beginMessage(const std::string& /*file*/) {}
  virtual void endMessage() {}
};

// The program's own INI store; `scoped`: one write scope per message, as the
// program stores a reply.
struct Engine : IniApi {
  explicit Engine(bool scoped = true) : scoped_(scoped) {}
  void beginMessage(const std::string& file) override {
    if (scoped_) scope_ = std::make_unique<nfy::ini::Scope>(file);
  }
  void endMessage() override { scope_.reset(); }
  bool scoped_;
  std::unique_ptr<nfy::ini::Scope> scope_;
  void write(const std::string& file, const std::string& s, const std::string& k, const std::string& v) override {
    nfy::ini::writeValue(file, s, k, v);
  }
  std::string read(const std::string& file, const std::string& s, const std::string& k) override {
    return nfy::ini::readValue(file, s, k);
  }
  size_t list(const std::string& file) override { return nfy::ini::sectionNames(file).size(); }
};

struct Timings {
  double storeMs = 0, readMs = 0, listMs = 0;
};

inline const std::vector<std::string>& messageKeys() {
  static const std::vector<std::string> keys = {"DownloadedMNTime",
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
                                                "RequireUserConfirmation",
                                                "DisplayedToUser"};
  return keys;
}

inline double msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// Runs the workload on a fresh file; `listings` section listings are timed
// and the time of one is reported.
inline Timings runWorkload(IniApi& api, const std::string& file, int messages, int listings = 20) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  Timings t;
  auto start = std::chrono::steady_clock::now();
  for (int m = 0; m < messages; ++m) {
    const std::string id = std::to_string(100000 + m);
    api.beginMessage(file);
    for (const std::string& key : messageKeys()) {
      std::string value = key == "Subject" ? "Planned maintenance of the mail servers, message " + id
                          : key.find("Time") != std::string::npos ? "07/15/2017 13:05:09"
                                                                  : "0";
      api.write(file, id, key, value);
    }
    api.endMessage();
  }
  t.storeMs = msSince(start);
  start = std::chrono::steady_clock::now();
  size_t bytes = 0;
  for (int m = 0; m < messages; ++m) {
    const std::string id = std::to_string(100000 + m);
    for (const std::string& key : messageKeys()) bytes += api.read(file, id, key).size();
  }
  t.readMs = msSince(start);
  start = std::chrono::steady_clock::now();
  size_t sections = 0;
  for (int i = 0; i < listings; ++i) sections += api.list(file);
  t.listMs = msSince(start) / listings;
  if (sections != static_cast<size_t>(messages) * listings || bytes == 0) {
    std::fprintf(stderr, "workload check failed: %zu sections, %zu bytes read\n", sections, bytes);
  }
  return t;
}

// The floor: `messages` flushed replaces (new temporary file, write, flush,
// rename, folder flushed) of a file as large as the final inbox, `bytes`.
inline double floorMs(const std::string& file, int messages, size_t bytes) {
  const std::string text(bytes, 'x');
  const std::string floorFile = file + ".floor";
  auto start = std::chrono::steady_clock::now();
  for (int m = 0; m < messages; ++m) {
    nfy::platform::FileStamp stamp;
    if (!nfy::platform::replaceFileWith(floorFile, text, stamp, 2000)) std::fprintf(stderr, "floor write failed\n");
  }
  double ms = msSince(start);
  std::error_code ec;
  std::filesystem::remove(floorFile, ec);
  return ms;
}

}  // namespace nfy::bench
