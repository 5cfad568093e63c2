// The key members of clsRegistryAccess.
#include "app/error_text.h"
#include "app/log.h"
#include "base/errors.h"
#include "base/text.h"
#include "registry/key_path.h"
#include "registry/registry_access.h"

namespace nfy {
namespace {

namespace reg = platform::reg;

// A closed key's handle as the member's non-zero success mark.
int32_t mark(reg::Key key) {
  auto v = static_cast<int32_t>(key);
  return v ? v : 1;
}

std::string errorText(const std::exception& e) { return trap(e).description; }

// The key a listing step reads its names from, closed when the step ends.
class OpenedKey {
 public:
  OpenedKey() = default;
  ~OpenedKey() {
    if (key) reg::closeKey(key);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  reg::Key key = 0;
};

}  // namespace

void clsRegistryAccess::ParseKeyPath(std::string& sPath) { hRootKey_ = registry::parseKeyPath(sPath, sSubKeyPath_); }

int32_t clsRegistryAccess::CreateKey(std::string sPath, std::string* strErr) {
  std::string local;
  std::string& err = strErr ? *strErr : local;
  err.clear();
  subWriteLog("MSG : Creating the resgistry key " + sPath);
  try {
    ParseKeyPath(sPath);
    long rc = reg::createKey(hRootKey_, sSubKeyPath_, reg::kMaximumAllowed, hKey_);
    if (rc == reg::kSuccess) {
      subWriteLog("MSG : Successfully created the key " + sPath);
      reg::Key created = hKey_;
      reg::closeKey(created);
      return mark(created);
    }
    err = "Failed to create the registry key " + sPath + ", " + fncFormatMessage(rc);
    subWriteLog("ERR : " + err);
    return 0;
  } catch (const std::exception& e) {
    err = "Failed to create the registry key " + sPath + "," + errorText(e);
    subWriteLog("ERR : " + err);
    return 0;
  }
}

int32_t clsRegistryAccess::CreateKey64Bit(std::string sPath, std::string* sErr) {
  if (sErr) sErr->clear();
  subWriteLog("MSG : Creating the resgistry key " + sPath);
  try {
    ParseKeyPath(sPath);
    const uint32_t access = reg::kAllAccess | reg::kWow64_64;
    if (reg::openKey(hRootKey_, sSubKeyPath_, access, hKey_) == reg::kSuccess) {
      reg::closeKey(hKey_);
      return 0;
    }
    long rc = reg::createKey(hRootKey_, sSubKeyPath_, access, hKey_);
    if (rc == reg::kSuccess) {
      subWriteLog("MSG : Successfully created the key " + sPath);
      reg::Key created = hKey_;
      reg::closeKey(created);
      return mark(created);
    }
    subWriteLog("ERR : failed to create the key " + sPath + " with error as " + fncFormatMessage(rc));
    return 0;
  } catch (const std::exception&) {
    return 0;
  }
}

bool clsRegistryAccess::KeyExists(std::string sPath) {
  try {
    ParseKeyPath(sPath);
    lastStatus_ = reg::openKey(hRootKey_, sSubKeyPath_, reg::kAllAccess, hKey_);
    if (lastStatus_ != reg::kSuccess) return false;
    reg::closeKey(hKey_);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool clsRegistryAccess::HaveSubkey(std::string sPath, std::string*) {
  subWriteLog("MSG : HaveSubkey, " + sPath);
  return haveSubkey(0, sPath);
}

bool clsRegistryAccess::HaveSubkey64Bit(std::string sPath, std::string*) {
  subWriteLog("MSG : HaveSubkey64Bit, " + sPath);
  return haveSubkey(reg::kWow64_64, sPath);
}

bool clsRegistryAccess::haveSubkey(uint32_t view, std::string sPath) {
  const char* member = view ? "HaveSubkey64Bit" : "HaveSubkey";
  try {
    ParseKeyPath(sPath);
    OpenedKey key;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, view ? reg::kRead | view : reg::kMaximumAllowed, key.key);
    if (rc != reg::kSuccess) {
      subWriteLog(view ? "ERR : failed to open the key, " + fncFormatMessage(rc)
                       : "ERR : Failed to open the key, " + sPath + ", " + fncFormatMessage(rc));
      return false;
    }
    std::string first;
    if (reg::enumKey(key.key, 0, first) != reg::kNoMoreItems) {
      subWriteLog("MSG : Subkeys found");
      return true;
    }
    subWriteLog("MSG : No subkeys found");
    return false;
  } catch (const std::exception& e) {
    subWriteLog(std::string("ERR : ") + member + ", " + errorText(e));
    return false;
  }
}

int32_t clsRegistryAccess::EnumKeys(std::string sPath, std::vector<std::string>& Key) {
  return enumKeys("EnumKeys", 0, std::move(sPath), Key);
}

int32_t clsRegistryAccess::EnumKeys64Bit(std::string sPath, std::vector<std::string>& Key) {
  return enumKeys("EnumKeys64Bit", reg::kWow64_64, std::move(sPath), Key);
}

int32_t clsRegistryAccess::enumKeys(const char* name, uint32_t view, std::string sPath, std::vector<std::string>& Key) {
  int32_t count = 0;
  try {
    ParseKeyPath(sPath);
    Key.clear();
    OpenedKey key;
    uint32_t access = view ? reg::kAllAccess | view : reg::kMaximumAllowed;
    if (reg::openKey(hRootKey_, sSubKeyPath_, access, key.key) != reg::kSuccess) {
      subWriteLog("ERR : key does not exists");
      return -1;
    }
    // Names are read whole, however long.
    for (uint32_t index = 0;; ++index) {
      std::string subKey;
      if (reg::enumKey(key.key, index, subKey) != reg::kSuccess) break;
      Key.push_back(std::move(subKey));
      ++count;
    }
    return count;
  } catch (const std::exception& e) {
    subWriteLog(std::string("ERR : ") + name + ", " + errorText(e));
    return count;
  }
}

int32_t clsRegistryAccess::EnumKeysSoftware(std::string sPath, std::vector<std::string>& Key) {
  int32_t count = 0;
  try {
    std::string fullPath = sPath;
    ParseKeyPath(sPath);
    Key.clear();
    const reg::Key root = hRootKey_;
    const std::string subKeyPath = sSubKeyPath_;
    OpenedKey key;
    if (reg::openKey(root, subKeyPath, reg::kMaximumAllowed, key.key) != reg::kSuccess) return -1;
    for (uint32_t index = 0;; ++index) {
      std::string name;
      if (reg::enumKey(key.key, index, name) != reg::kSuccess) break;
      reg::Key program = 0;
      std::string programPath = subKeyPath.empty() ? name : subKeyPath + "\\" + name;
      if (reg::openKey(root, programPath, reg::kMaximumAllowed, program) != reg::kSuccess) continue;
      reg::closeKey(program);
      std::string displayName = ReadString(fullPath + "\\" + name, "DisplayName");
      if (!trim(displayName).empty()) {
        Key.push_back(displayName);
        ++count;
      }
    }
    return count;
  } catch (const std::exception&) {
    return count;
  }
}

int32_t clsRegistryAccess::KillSubKey(std::string sPath, std::string* sErr) {
  std::string local;
  return killSubKey("KillSubKey", 0, std::move(sPath), sErr ? *sErr : local);
}

int32_t clsRegistryAccess::KillSubKey64Bit(std::string sPath, std::string* sErr) {
  std::string local;
  return killSubKey("KillSubKey64Bit", reg::kWow64_64, std::move(sPath), sErr ? *sErr : local);
}

int32_t clsRegistryAccess::killSubKey(const char* name, uint32_t view, std::string sPath, std::string& sErr) {
  sErr.clear();
  subWriteLog(std::string("MSG : ") + name + ", path:" + sPath);
  try {
    ParseKeyPath(sPath);
    if (view ? HaveSubkey64Bit(sPath) : HaveSubkey(sPath)) {
      std::vector<std::string> subKeys;
      if (view ? EnumKeys64Bit(sPath, subKeys) <= 0 : EnumKeys(sPath, subKeys) <= 0) return 0;
      for (const std::string& subKey : subKeys) {
        std::string ignored;
        killSubKey(name, view, sPath + "\\" + subKey, ignored);
      }
    }
    // The recursive calls reused the instance's fields: split again.
    ParseKeyPath(sPath);
    reg::Key key = 0;
    long rc = reg::openKey(hRootKey_, sSubKeyPath_, reg::kAllAccess | view, key);
    if (rc == reg::kSuccess) {
      hKey_ = key;
      long deleted = reg::deleteKey(key, "", view);
      if (deleted != reg::kSuccess) {
        sErr = "Error while deleting the sub key " + sPath + ", " + fncFormatMessage(deleted);
        subWriteLog("ERR : " + sErr);
      } else {
        subWriteLog("MSG : Successfully deleted the key, " + sPath);
      }
      reg::closeKey(key);
      return mark(key);
    }
    if (rc == reg::kFileNotFound) {
      subWriteLog("ERR : Error while opening the sub key " + sPath + ", " + fncFormatMessage(rc));
      return 1;
    }
    sErr = "Error while opening the sub key " + sPath + ", " + fncFormatMessage(rc);
    subWriteLog("ERR : " + sErr);
    return 0;
  } catch (const std::exception& e) {
    sErr = "Error while deleting the sub key " + sPath + ", " + errorText(e);
    subWriteLog(std::string("ERR : ") + name + ", " + sErr);
    return 0;
  }
}

int32_t clsRegistryAccess::KillKey(std::string sPath, std::string sRecursive, std::string* sErr) {
  std::string local;
  return killKey("KillKey", 0, std::move(sPath), sRecursive, sErr ? *sErr : local);
}

int32_t clsRegistryAccess::KillKey64bit(std::string sPath, std::string sRecursive, std::string* sErr) {
  std::string local;
  return killKey("KillKey64bit", reg::kWow64_64, std::move(sPath), sRecursive, sErr ? *sErr : local);
}

int32_t clsRegistryAccess::killKey(const char* name, uint32_t view, std::string sPath, const std::string& sRecursive,
                                   std::string& sErr) {
  subWriteLog(std::string("MSG : ") + name + ", path:" + sPath);
  sSubKeyPath_.clear();
  sErr.clear();
  try {
    if (registry::isProtectedKey(sPath)) {
      sErr = sPath + " cannot be deleted, as deleting it might cause the OS to repair or re-install. ";
      subWriteLog("ERR : " + sErr);
      return 0;
    }
    ParseKeyPath(sPath);
    if (view ? HaveSubkey64Bit(sPath) : HaveSubkey(sPath)) {
      if (sRecursive != "Y") {
        sErr = sPath +
               " key cannot be deleted as it has subkeys assoicated with it, and the script has not "
               "opted to delete the subkeys.";
        subWriteLog("ERR : " + sErr);
        return 0;
      }
      std::vector<std::string> subKeys;
      if (view) {
        EnumKeys64Bit(sPath, subKeys);
      } else {
        EnumKeys(sPath, subKeys);
      }
      for (const std::string& subKey : subKeys) {
        std::string ignored;
        killSubKey(view ? "KillSubKey64Bit" : "KillSubKey", view, sPath + "\\" + subKey, ignored);
      }
    }
    return killSubKey(view ? "KillSubKey64Bit" : "KillSubKey", view, sPath, sErr);
  } catch (const std::exception& e) {
    sErr = "Error while deleting the key " + sPath + ", " + errorText(e);
    subWriteLog(std::string("ERR : ") + name + ", " + sErr);
    return 0;
  }
}

}  // namespace nfy
