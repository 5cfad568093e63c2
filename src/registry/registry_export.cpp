// ExportToReg: a key, and optionally its subkeys, as a REGEDIT4
// registration file that a registry editor imports back to the same values.
#include <cstdio>
#include <memory>

#include "base/errors.h"
#include "base/text.h"
#include "platform/new_file.h"
#include "registry/key_path.h"
#include "registry/registry_access.h"

namespace nfy {
namespace {

// A quoted string of a registration file: \ and " escaped.
std::string regQuoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string hexList(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ',';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// A string value's line. A text with a line break cannot stand between
// quotes on one line; it is written as its bytes and the closing NUL.
std::string stringLine(const std::string& name, const std::string& text) {
  std::string head = name.empty() ? "@=" : regQuoted(name) + "=";
  if (text.find_first_of("\r\n") != std::string::npos) return head + "hex(1):" + hexList(text + '\0');
  return head + regQuoted(text);
}

struct KeyValues {
  std::vector<std::string> names;
  std::vector<RegistryValue> values;
};

}  // namespace

int32_t clsRegistryAccess::ExportToReg(std::string sPath, std::string sRegFile, bool IncludeSubkeys,
                                       const RegistryExportOutput* Output) {
  try {
    // The file is made new, once, and written through that one handle: an
    // existing file or a link planted at the name (which would lead the
    // export into a folder of someone else's choosing) makes it 0.
    auto close = [](std::FILE* f) { std::fclose(f); };
    std::unique_ptr<std::FILE, decltype(close)> file(platform::createNewFile(sRegFile, platform::NewFile::Default),
                                                     close);
    if (!file) return 0;
    std::string text = "REGEDIT4\r\n\r\n";
    bool exported = exportKey(sPath, text, IncludeSubkeys, Output);
    bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    return std::fclose(file.release()) == 0 && written && exported ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

bool clsRegistryAccess::exportKey(const std::string& sPath, std::string& text, bool includeSubkeys,
                                  const RegistryExportOutput* output) {
  if (output && *output) (*output)(sPath);
  const std::string path = registry::longRootForm(sPath);

  // Everything is read before the file is touched: a key that cannot be
  // opened is reported as a failure, not written as an empty key.
  KeyValues strings, binaries, dwords;
  if (EnumValues(path, strings.names, strings.values, 1) < 0) return false;
  EnumValues(path, binaries.names, binaries.values, 3);
  EnumValues(path, dwords.names, dwords.values, 4);
  std::string defaultValue = ReadString(path, "");

  text += "[" + path + "]\r\n";
  text += stringLine("", defaultValue) + "\r\n";
  for (size_t i = 0; i < strings.names.size(); ++i) {
    if (strings.names[i].empty()) continue;
    const auto* s = std::get_if<std::string>(&strings.values[i]);
    text += stringLine(strings.names[i], s ? *s : std::string()) + "\r\n";
  }
  for (size_t i = 0; i < binaries.names.size(); ++i) {
    const auto* hex = std::get_if<std::string>(&binaries.values[i]);
    text += regQuoted(binaries.names[i]) + "=hex:" + replaceAll(hex ? *hex : std::string(), " ", ",") + "\r\n";
  }
  for (size_t i = 0; i < dwords.names.size(); ++i) {
    const auto* n = std::get_if<int32_t>(&dwords.values[i]);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(n ? *n : 0));
    text += regQuoted(dwords.names[i]) + "=dword:" + digits + "\r\n";
  }
  text += "\r\n";

  if (includeSubkeys) {
    std::vector<std::string> subKeys;
    EnumKeys(path, subKeys);
    for (const std::string& subKey : subKeys) {
      if (!exportKey(path + "\\" + subKey, text, true, output)) return false;
    }
  }
  return true;
}

}  // namespace nfy
