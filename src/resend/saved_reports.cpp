#include "resend/saved_reports.h"

#include <algorithm>

#include "base/text.h"

namespace nfy::resend {

bool isReportName(const std::string& name) {
  static const std::string prefix = "wpdcmsendmsgdskupd_";
  static const std::string suffix = ".xml";
  return name.size() > prefix.size() + suffix.size() &&
         iequals(std::string_view(name).substr(0, prefix.size()), prefix) &&
         iequals(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

std::vector<platform::FolderEntry> ownReportsOldestFirst(std::vector<platform::FolderEntry> entries) {
  std::erase_if(entries, [](const platform::FolderEntry& e) { return !e.own || !isReportName(e.name); });
  std::sort(entries.begin(), entries.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
    if (a.stamp.modified != b.stamp.modified) return a.stamp.modified < b.stamp.modified;
    return a.name < b.name;
  });
  return entries;
}

}  // namespace nfy::resend
