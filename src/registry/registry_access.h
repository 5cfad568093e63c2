// clsRegistryAccess: the program's general registry utility class. It
// creates, tests, lists and deletes keys, reads, writes, lists and deletes
// values, and exports a key to a REGEDIT4 registration file, in the default
// registry view and (the members ending in 64Bit/64bit) the 64-bit view.
//
// Paths begin with a root name in long or short form ("HKEY_CURRENT_USER"
// or "HKCU"). Registry statuses never escape: they become results (0, -1 or
// 1, or a closed key's handle value as a non-zero success mark), an error
// text in the optional sErr argument and an "ERR : " log line. The message
// flow does not use this class.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"

namespace nfy {

// A value as EnumValues lists it: the string of a string value, the number
// of a 32-bit value, the hex text of a binary value, nothing for other types.
using RegistryValue = std::variant<std::monostate, std::string, int32_t>;

// What ExportToReg shows as it reaches each key (the text of a text box).
using RegistryExportOutput = std::function<void(const std::string& text)>;

class clsRegistryAccess {
 public:
  clsRegistryAccess() = default;

  // "Let/Get. Should key will be created if no exists (when writting data to registry)"
  bool CreateKeyIfDoesntExists() const { return createKeyIfDoesntExists_; }
  void CreateKeyIfDoesntExists(bool value) { createKeyIfDoesntExists_ = value; }

  // Keys.
  int32_t CreateKey(std::string sPath, std::string* strErr = nullptr);
  int32_t CreateKey64Bit(std::string sPath, std::string* sErr = nullptr);
  int32_t KillKey(std::string sPath, std::string sRecursive, std::string* sErr = nullptr);
  int32_t KillKey64bit(std::string sPath, std::string sRecursive, std::string* sErr = nullptr);
  int32_t KillSubKey(std::string sPath, std::string* sErr = nullptr);
  int32_t KillSubKey64Bit(std::string sPath, std::string* sErr = nullptr);
  bool KeyExists(std::string sPath);
  int32_t EnumKeys(std::string sPath, std::vector<std::string>& Key);
  int32_t EnumKeys64Bit(std::string sPath, std::vector<std::string>& Key);
  int32_t EnumKeysSoftware(std::string sPath, std::vector<std::string>& Key);
  bool HaveSubkey(std::string sPath, std::string* sSubkeyname = nullptr);
  bool HaveSubkey64Bit(std::string sPath, std::string* sSubkeyname = nullptr);

  // Values.
  std::string ReadString(std::string sPath, std::string sName, std::string* sErr = nullptr);
  int32_t WriteString(std::string sPath, std::string sName, std::string sValue, std::string* sErr = nullptr);
  int32_t WriteDWORD(std::string sPath, std::string sName, int32_t lValue, std::string* sErr = nullptr);
  int32_t WriteDWORD64Bit(std::string sPath, std::string sName, int32_t lValue, std::string* sErr = nullptr);
  int32_t ReadDWORD(std::string sPath, std::string sName, int32_t* lDefault = nullptr);
  int32_t WriteBinary(std::string sPath, std::string sName, std::string sValue, std::string* sErr = nullptr);
  int32_t WriteBinary64bit(std::string sPath, std::string sName, std::string sValue, std::string* sErr = nullptr);
  std::string ReadBinary(std::string sPath, std::string sName, std::string* sDefault = nullptr);
  int32_t KillValue(std::string sPath, std::string sName, std::string* sErr = nullptr);
  int32_t KillValue64bit(std::string sPath, std::string sName, std::string* sErr = nullptr);
  bool ValueExists(std::string sPath, std::string sName);
  int32_t EnumValues(std::string sPath, std::vector<std::string>& sName, std::vector<RegistryValue>& sValue,
                     int32_t OnlyType = -1);

  // Export and hex conversions.
  int32_t ExportToReg(std::string sPath, std::string sRegFile, bool IncludeSubkeys = true,
                      const RegistryExportOutput* Output = nullptr);
  std::string StrToBin(std::string& sBin);
  std::string BinToStr(const std::string& sStr);
  bool isBinValid(const std::string& sBin);

 private:
  using Key = platform::reg::Key;

  // Splits the path into the instance's root handle and subkey path.
  void ParseKeyPath(std::string& sPath);
  // Appends a key's lines (and its subkeys' when asked) to `text`.
  bool exportKey(const std::string& sPath, std::string& text, bool includeSubkeys, const RegistryExportOutput* output);

  // The shared bodies of the members and their 64-bit twins (view 0 or
  // KEY_WOW64_64KEY); name is the member's name for its log lines.
  int32_t killKey(const char* name, uint32_t view, std::string sPath, const std::string& sRecursive, std::string& sErr);
  int32_t killSubKey(const char* name, uint32_t view, std::string sPath, std::string& sErr);
  int32_t enumKeys(const char* name, uint32_t view, std::string sPath, std::vector<std::string>& Key);
  bool haveSubkey(uint32_t view, std::string sPath);
  int32_t writeValue(const char* name, uint32_t view, std::string sPath, const std::string& sName, uint32_t type,
                     const std::string& data, const std::string& shown, std::string& sErr);
  int32_t writeBinary(const char* name, uint32_t view, std::string sPath, const std::string& sName, std::string sValue,
                      std::string& sErr);
  int32_t killValue(const char* name, uint32_t view, std::string sPath, const std::string& sName, std::string& sErr);

  Key hRootKey_ = 0;
  Key hKey_ = 0;
  std::string sSubKeyPath_;
  bool createKeyIfDoesntExists_ = true;
  long lastStatus_ = 0;  // the status of the last failed open, for the "last error" lines
};

}  // namespace nfy
