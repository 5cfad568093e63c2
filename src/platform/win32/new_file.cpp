#include "platform/new_file.h"

#include <windows.h>

#include <algorithm>

namespace nfy::platform {

NewFileWriter::~NewFileWriter() { close(); }

bool NewFileWriter::create(const std::string& path) {
  if (handle_ != kNone) return false;
  // CREATE_NEW fails on any name that exists, a link included; a link is
  // never followed, as it is opened as itself.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool NewFileWriter::write(std::string_view bytes) {
  if (handle_ == kNone) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  while (!bytes.empty()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(h, bytes.data(), want, &n, nullptr) || n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

bool NewFileWriter::close() {
  if (handle_ == kNone) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  handle_ = kNone;
  return CloseHandle(h) != 0;
}

}  // namespace nfy::platform
