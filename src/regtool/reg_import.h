// The registration files that nfyDeskReg imports: "REGEDIT4" text (what the
// export writes) or "Windows Registry Editor Version 5.00" text in UTF-16
// or UTF-8 (what registry editors write). The parser reads the whole file
// before anything is written, so that a malformed file changes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nfy::regtool {

struct ImportEntry {
  enum class Kind { Key, DeleteKey, String, Binary, Dword, DeleteValue };
  Kind kind = Kind::Key;
  int line = 0;         // where the entry stands in the file
  std::string path;     // the key, as written between the brackets
  std::string name;     // the value's name ("" for the default value)
  std::string data;     // String: the text; Binary: the bytes
  uint32_t number = 0;  // Dword
};

struct ImportFile {
  bool ok = false;
  int errorLine = 0;  // 0 when the error concerns the whole file
  std::string error;
  std::vector<ImportEntry> entries;
};

// Files larger than this are refused unread.
constexpr size_t kMaxImportBytes = 64u << 20;

// Parses a registration file's bytes. Never throws on any input; a file
// that is not well formed gives ok false with the line and the reason.
ImportFile parseImportFile(std::string_view bytes);

}  // namespace nfy::regtool
