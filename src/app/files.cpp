#include "app/files.h"

#include <cstdio>
#include <filesystem>

#include "base/errors.h"
#include "platform/file_ops.h"
#include "platform/folder.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace nfy::files {
namespace {

[[noreturn]] void raiseFor(const std::error_code& ec, long fallback) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) {
    raiseError(err::kPermissionDenied);
  }
  if (ec == std::errc::no_such_file_or_directory) raiseError(fallback);
  throw RuntimeError(fallback, errorDescription(fallback) + " (" + ec.message() + ")");
}

}  // namespace

bool folderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

void createFolder(const std::string& path) {
  std::error_code ec;
  if (fs::create_directory(path, ec) || folderExists(path)) return;
  raiseFor(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), err::kPathNotFound);
}

std::vector<Entry> listFiles(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::listFolder(folder, entries, platform::FolderLink::Followed)) {
    const platform::FileError e = platform::lastFileError();
    if (e.number == err::kPermissionDenied) raiseError(err::kPermissionDenied);
    if (!folderExists(folder)) raiseError(err::kPathNotFound);
    throw RuntimeError(err::kPathNotFound, errorDescription(err::kPathNotFound) + " (" + e.text + ")");
  }
  std::vector<Entry> out;
  for (const platform::FolderEntry& e : entries) {
    if (!e.regular) continue;
    const auto seconds = static_cast<std::time_t>(e.stamp.modified / 1000000000);
    out.push_back({e.name, platform::localTime(seconds), e.own});
  }
  return out;
}

void raiseLastFileError() {
  const platform::FileError e = platform::lastFileError();
  throw RuntimeError(e.number, e.text);
}

void writeWholeFile(const std::string& path, const std::string& bytes, platform::NewFile mode) {
  // The folders are shared by the users of the machine: a link or a FIFO at
  // the name is refused, never written through.
  platform::FileStamp written;
  if (platform::replaceFileWith(path, bytes, written, 2000, mode)) return;
  const platform::FileError e = platform::lastFileError();
  if (!folderExists(fs::path(path).parent_path().string())) raiseError(err::kPathNotFound);
  throw RuntimeError(e.number, e.text);
}

void deleteFile(const std::string& path) {
  std::error_code ec;
  if (!fs::remove(path, ec))
    raiseFor(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory), err::kFileNotFound);
}

}  // namespace nfy::files
