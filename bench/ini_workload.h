// The inbox workload of the INI benchmarks: store n messages of 18 keys
// each, read every key back, list the sections.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "inbox/ini_file.h"

namespace nfy::bench {

struct IniApi {
  virtual ~IniApi() = default;
  virtual void write(const std::string& file, const std::string& s, const std::string& k, const std::string& v) = 0;
  virtual std::string read(const std::string& file, const std::string& s, const std::string& k) = 0;
  virtual size_t list(const std::string& file) = 0;  // the number of sections
};

// The program's own INI store.
struct Engine : IniApi {
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
    for (const std::string& key : messageKeys()) {
      std::string value = key == "Subject" ? "Planned maintenance of the mail servers, message " + id
                          : key.find("Time") != std::string::npos ? "07/15/2017 13:05:09"
                                                                  : "0";
      api.write(file, id, key, value);
    }
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

}  // namespace nfy::bench
