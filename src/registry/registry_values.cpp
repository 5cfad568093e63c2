// The value members of clsRegistryAccess.
#include <cstring>

#include "app/error_text.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "registry/hex_text.h"
#include "registry/key_path.h"
#include "registry/registry_access.h"

namespace nfy {
namespace {

namespace reg = platform::reg;

int32_t mark(reg::Key key) {
  auto v = static_cast<int32_t>(key);
  return v ? v : 1;
}

std::string withoutCrLf(const std::string& s) { return replaceAll(s, "\r\n", ""); }

std::string errorText(const std::exception& e) { return withoutCrLf(trap(e).description); }

// Closes the key a member opened on every way out of the member.
struct KeyCloser {
  reg::Key key = 0;
  ~KeyCloser() {
    if (key) reg::closeKey(key);
  }
};

// The member's open failure, carried to its error trap with the built text
// as the description.
struct OpenFailed : RuntimeError {
  explicit OpenFailed(const std::string& text) : RuntimeError(err::kTypeMismatch, text) {}
};

// Reads a value whole: first into a buffer of 255 bytes, and when the
// system answers that more data is available, again into one of the size it
// asked for.
long queryWhole(reg::Key key, const std::string& name, uint32_t& type, std::string& data) {
  data.assign(255, '\0');
  auto size = static_cast<uint32_t>(data.size());
  long rc = reg::queryValue(key, name, &type, reinterpret_cast<unsigned char*>(data.data()), &size);
  if (rc == reg::kMoreData) {
    data.assign(size, '\0');
    rc = reg::queryValue(key, name, &type, reinterpret_cast<unsigned char*>(data.data()), &size);
  }
  if (rc == reg::kSuccess) data.resize(size);
  return rc;
}

void logReader(const char* member, const std::string& path, const std::string& name) {
  subWriteLog(std::string("MSG : ") + member + ", " + path + "[" + name + "]");
}

}  // namespace

std::string clsRegistryAccess::ReadString(std::string sPath, std::string sName, std::string* sErr) {
  std::string local;
  std::string& err = sErr ? *sErr : local;
  logReader("ReadString", sPath, sName);
  try {
    ParseKeyPath(sPath);
    KeyCloser key;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, reg::kRead, key.key);
    if (rc == reg::kSuccess) {
      uint32_t type = reg::kString;
      std::string data;
      rc = queryWhole(key.key, sName, type, data);
      if (rc == reg::kSuccess) return data.substr(0, data.find('\0'));
    }
    err = fncFormatMessage(rc);
    subWriteLog("ERR : " + err);
    return {};
  } catch (const std::exception& e) {
    err = "Error while reading the string key " + sPath + "[" + sName + "], " + trap(e).description;
    subWriteLog("ERR : " + err);
    return {};
  }
}

int32_t clsRegistryAccess::ReadDWORD(std::string sPath, std::string sName, int32_t*) {
  logReader("ReadDWORD", sPath, sName);
  try {
    ParseKeyPath(sPath);
    KeyCloser key;
    if (reg::openKey(hRootKey_, sSubKeyPath_, reg::kRead, key.key) != reg::kSuccess) return 0;
    uint32_t type = reg::kDword;
    unsigned char bytes[4] = {};
    uint32_t size = sizeof bytes;
    if (reg::queryValue(key.key, sName, &type, bytes, &size) != reg::kSuccess) return 0;
    uint32_t v = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int32_t>(v);
  } catch (const std::exception&) {
    return 0;
  }
}

std::string clsRegistryAccess::ReadBinary(std::string sPath, std::string sName, std::string*) {
  logReader("ReadBinary", sPath, sName);
  try {
    ParseKeyPath(sPath);
    KeyCloser key;
    if (reg::openKey(hRootKey_, sSubKeyPath_, reg::kRead, key.key) != reg::kSuccess) return {};
    // A one-byte buffer first, to learn the size.
    uint32_t type = reg::kBinary;
    unsigned char probe = 0;
    uint32_t size = 1;
    long rc = reg::queryValue(key.key, sName, &type, &probe, &size);
    if (rc != reg::kSuccess && rc != reg::kMoreData) return {};
    std::string data(size, '\0');
    rc = reg::queryValue(key.key, sName, &type, reinterpret_cast<unsigned char*>(data.data()), &size);
    if (rc != reg::kSuccess) return {};
    data.resize(size);
    return trim(BinToStr(data));
  } catch (const std::exception&) {
    return {};
  }
}

bool clsRegistryAccess::ValueExists(std::string sPath, std::string sName) {
  try {
    ParseKeyPath(sPath);
    KeyCloser key;
    if (reg::openKey(hRootKey_, sSubKeyPath_, reg::kRead, key.key) != reg::kSuccess) return false;
    return reg::queryValue(key.key, sName, nullptr, nullptr, nullptr) == reg::kSuccess;
  } catch (const std::exception&) {
    return false;
  }
}

int32_t clsRegistryAccess::WriteString(std::string sPath, std::string sName, std::string sValue, std::string* sErr) {
  std::string local;
  std::string data = sValue;
  data.push_back('\0');
  return writeValue("WriteString", 0, std::move(sPath), sName, reg::kString, data, sValue, sErr ? *sErr : local);
}

int32_t clsRegistryAccess::WriteDWORD(std::string sPath, std::string sName, int32_t lValue, std::string* sErr) {
  std::string local;
  auto v = static_cast<uint32_t>(lValue);
  std::string data{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                   static_cast<char>(v >> 24)};
  return writeValue("WriteDWORD", 0, std::move(sPath), sName, reg::kDword, data, std::to_string(lValue),
                    sErr ? *sErr : local);
}

int32_t clsRegistryAccess::WriteDWORD64Bit(std::string sPath, std::string sName, int32_t lValue, std::string* sErr) {
  std::string local;
  auto v = static_cast<uint32_t>(lValue);
  std::string data{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                   static_cast<char>(v >> 24)};
  return writeValue("WriteDWORD64Bit", reg::kWow64_64, std::move(sPath), sName, reg::kDword, data,
                    std::to_string(lValue), sErr ? *sErr : local);
}

// WriteString, WriteDWORD and WriteDWORD64Bit: shown is the value as the log
// lines and error texts show it.
int32_t clsRegistryAccess::writeValue(const char* name, uint32_t view, std::string sPath, const std::string& sName,
                                      uint32_t type, const std::string& data, const std::string& shown,
                                      std::string& sErr) {
  const std::string typeWord = type == reg::kDword ? "DWORD" : "string";
  subWriteLog(std::string("MSG : ") + name + ", path:" + sPath + ", Name:" + sName + ", value:" + shown);
  sErr.clear();
  try {
    if (!KeyExists(sPath)) {
      if (!createKeyIfDoesntExists_) return 0;
      if (view) {
        CreateKey64Bit(sPath);
      } else {
        CreateKey(sPath);
      }
    }
    ParseKeyPath(sPath);
    KeyCloser key;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, reg::kWrite | view, key.key);
    const std::string about = sName + " with value " + shown + " for registry key " + sPath + ", ";
    if (rc != reg::kSuccess) {
      throw OpenFailed(
          (view ? "Error while setting the value for string " : "Error while opening the value for string ") + about +
          fncFormatMessage(rc));
    }
    hKey_ = key.key;
    rc = reg::setValue(key.key, sName, type, reinterpret_cast<const unsigned char*>(data.data()),
                       static_cast<uint32_t>(data.size()));
    if (rc != reg::kSuccess) {
      sErr = "Error while setting the value for string " + about + fncFormatMessage(rc);
      subWriteLog("ERR : " + sErr);
      return 0;
    }
    subWriteLog("MSG : Successfully written the value.");
    return mark(key.key);
  } catch (const std::exception& e) {
    sErr = "Error while setting the value for " + typeWord + " " + sName + " with value " + shown +
           " for registry key " + sPath + ", " + errorText(e);
    subWriteLog(std::string("ERR : ") + name + ", " + sErr);
    return 0;
  }
}

int32_t clsRegistryAccess::WriteBinary(std::string sPath, std::string sName, std::string sValue, std::string* sErr) {
  std::string local;
  return writeBinary("WriteBinary", 0, std::move(sPath), sName, std::move(sValue), sErr ? *sErr : local);
}

int32_t clsRegistryAccess::WriteBinary64bit(std::string sPath, std::string sName, std::string sValue,
                                            std::string* sErr) {
  std::string local;
  return writeBinary("WriteBinary64bit", reg::kWow64_64, std::move(sPath), sName, std::move(sValue),
                     sErr ? *sErr : local);
}

int32_t clsRegistryAccess::writeBinary(const char* name, uint32_t view, std::string sPath, const std::string& sName,
                                       std::string sValue, std::string& sErr) {
  subWriteLog(std::string("MSG : ") + name + ", path:" + sPath + ", Name:" + sName + ", value:" + sValue);
  sErr.clear();
  try {
    if (!KeyExists(sPath)) {
      if (!createKeyIfDoesntExists_) {
        subWriteLog("ERR : " + fncFormatMessage(lastStatus_));
        return 0;
      }
      if (view) {
        CreateKey64Bit(sPath);
      } else {
        CreateKey(sPath);
      }
    }
    ParseKeyPath(sPath);
    std::string binary = StrToBin(sValue);
    sValue = binary;
    KeyCloser key;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, reg::kWrite | view, key.key);
    if (rc != reg::kSuccess) {
      sErr = "Error while opening the REG_BINARY key, " + sPath + ", " + fncFormatMessage(rc);
      subWriteLog("ERR :" + sErr);
      return 0;
    }
    hKey_ = key.key;
    unsigned char none = 0;
    const unsigned char* bytes = binary.empty() ? &none : reinterpret_cast<const unsigned char*>(binary.data());
    rc = reg::setValue(key.key, sName, reg::kBinary, bytes, static_cast<uint32_t>(binary.size()));
    if (rc != reg::kSuccess) {
      sErr = "Error while setting the value for REG_BINARY " + sName + " with value " + binary + " for registry key " +
             sPath + ", " + fncFormatMessage(rc);
      subWriteLog("ERR : " + sErr);
      return 0;
    }
    subWriteLog("MSG : Successfully written the value.");
    return mark(key.key);
  } catch (const std::exception& e) {
    sErr = "Error while setting the value for REG_BINARY, " + sName + " with value " + sValue + " for registry key " +
           sPath + ", " + errorText(e);
    subWriteLog(std::string("ERR : ") + name + ", " + sErr);
    return 0;
  }
}

int32_t clsRegistryAccess::KillValue(std::string sPath, std::string sName, std::string* sErr) {
  std::string local;
  return killValue("KillValue", 0, std::move(sPath), sName, sErr ? *sErr : local);
}

int32_t clsRegistryAccess::KillValue64bit(std::string sPath, std::string sName, std::string* sErr) {
  std::string local;
  return killValue("KillValue64bit", reg::kWow64_64, std::move(sPath), sName, sErr ? *sErr : local);
}

int32_t clsRegistryAccess::killValue(const char* name, uint32_t view, std::string sPath, const std::string& sName,
                                     std::string& sErr) {
  sErr.clear();
  subWriteLog(std::string("MSG : ") + name + ", path:" + sPath + ", Value:" + sName);
  try {
    ParseKeyPath(sPath);
    KeyCloser key;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, reg::kAllAccess | view, key.key);
    if (rc != reg::kSuccess) {
      sErr = "Error while opening the key " + sPath + ", " + fncFormatMessage(rc);
      subWriteLog("ERR : " + sErr);
      return 0;
    }
    hKey_ = key.key;
    rc = reg::deleteValue(key.key, sName);
    if (rc != reg::kSuccess) {
      sErr = "Error while deleteing the value " + sName + " for registry key " + sPath + ", " +
             withoutCrLf(fncFormatMessage(rc));
      subWriteLog("ERR : " + sErr);
    } else {
      subWriteLog(view ? "ERR : Successfully deleted the value." : "MSG : Successfully deleted the value.");
    }
    return mark(key.key);
  } catch (const std::exception& e) {
    sErr = "Error while deleteing the value " + sName + " for registry key " + sPath + ", " + errorText(e);
    subWriteLog(std::string("ERR : ") + name + ", " + sErr);
    return 0;
  }
}

int32_t clsRegistryAccess::EnumValues(std::string sPath, std::vector<std::string>& sName,
                                      std::vector<RegistryValue>& sValue, int32_t OnlyType) {
  int32_t count = 0;
  try {
    const std::string fullPath = sPath;
    ParseKeyPath(sPath);
    KeyCloser key;
    if (reg::openKey(hRootKey_, sSubKeyPath_, reg::kMaximumAllowed, key.key) != reg::kSuccess) return -1;
    sName.clear();
    sValue.clear();
    const reg::Key opened = key.key;
    for (uint32_t index = 0;; ++index) {
      std::string name;
      uint32_t type = 0;
      std::vector<unsigned char> data;
      if (reg::enumValue(opened, index, name, type, data) != reg::kSuccess) break;
      if (OnlyType != -1 && static_cast<uint32_t>(OnlyType) != type) continue;
      // The name is kept as the registry holds it (blanks included), so that
      // its value can be read back and exported under the same name.
      RegistryValue value;
      if (type == reg::kBinary) {
        value = data.empty() ? std::string() : trim(BinToStr(std::string(data.begin(), data.end())));
      } else if (type == reg::kDword) {
        value = ReadDWORD(fullPath, name);
      } else if (type == reg::kString) {
        value = ReadString(fullPath, name);
      }
      sName.push_back(std::move(name));
      sValue.push_back(std::move(value));
      ++count;
    }
    return count;
  } catch (const std::exception&) {
    return count;
  }
}

std::string clsRegistryAccess::StrToBin(std::string& sBin) { return registry::strToBin(sBin); }
std::string clsRegistryAccess::BinToStr(const std::string& sStr) { return registry::binToStr(sStr); }
bool clsRegistryAccess::isBinValid(const std::string& sBin) { return registry::isBinValid(sBin); }

}  // namespace nfy
