#include "app/files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "base/errors.h"
#include "platform/file_ops.h"
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

std::time_t toTimeT(fs::file_time_type t) {
  auto sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(t - fs::file_time_type::clock::now() +
                                                                               std::chrono::system_clock::now());
  return std::chrono::system_clock::to_time_t(sys);
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
  std::vector<Entry> out;
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  if (ec) raiseFor(ec, err::kPathNotFound);
  for (; it != end; it.increment(ec)) {
    if (ec) raiseFor(ec, err::kPathNotFound);
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    auto mtime = it->last_write_time(e2);
    if (e2) continue;
    bool own = platform::fileOwnership(it->path().string()) == platform::Ownership::Own;
    out.push_back({it->path().filename().string(), platform::localTime(toTimeT(mtime)), own});
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
