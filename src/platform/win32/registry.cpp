#include "platform/registry.h"

#include <windows.h>

namespace nfy::platform::reg {
namespace {
HKEY h(Key k) { return reinterpret_cast<HKEY>(k); }
}  // namespace

long openKey(Key root, const std::string& subKey, uint32_t access, Key& out) {
  HKEY k = nullptr;
  long rc = RegOpenKeyExA(h(root), subKey.c_str(), 0, access, &k);
  out = rc == ERROR_SUCCESS ? reinterpret_cast<Key>(k) : 0;
  return rc;
}

long createKey(Key root, const std::string& subKey, uint32_t access, Key& out) {
  HKEY k = nullptr;
  long rc = RegCreateKeyExA(h(root), subKey.c_str(), 0, nullptr, 0, access, nullptr, &k, nullptr);
  out = rc == ERROR_SUCCESS ? reinterpret_cast<Key>(k) : 0;
  return rc;
}

long closeKey(Key key) { return RegCloseKey(h(key)); }

long deleteKey(Key root, const std::string& subKey, uint32_t access) {
  return RegDeleteKeyExA(h(root), subKey.c_str(), access & (kWow64_32 | kWow64_64), 0);
}

long queryValue(Key key, const std::string& name, uint32_t* type, unsigned char* data, uint32_t* size) {
  DWORD t = type ? *type : 0, s = size ? *size : 0;
  long rc = RegQueryValueExA(h(key), name.c_str(), nullptr, &t, data, size ? &s : nullptr);
  if (type) *type = t;
  if (size) *size = s;
  return rc;
}

long setValue(Key key, const std::string& name, uint32_t type, const unsigned char* data, uint32_t size) {
  return RegSetValueExA(h(key), name.c_str(), 0, type, data, size);
}

long deleteValue(Key key, const std::string& name) { return RegDeleteValueA(h(key), name.c_str()); }

long enumKey(Key key, uint32_t index, std::string& name) {
  char buf[256];
  DWORD n = sizeof buf;
  long rc = RegEnumKeyExA(h(key), index, buf, &n, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) name.assign(buf, n);
  return rc;
}

long enumValue(Key key, uint32_t index, std::string& name, uint32_t& type, std::vector<unsigned char>& data) {
  char buf[16384];
  DWORD n = sizeof buf, t = 0, size = 0;
  long rc = RegEnumValueA(h(key), index, buf, &n, nullptr, &t, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  data.assign(size, 0);
  n = sizeof buf;
  rc = RegEnumValueA(h(key), index, buf, &n, nullptr, &t, data.data(), &size);
  if (rc == ERROR_SUCCESS) {
    name.assign(buf, n);
    type = t;
    data.resize(size);
  }
  return rc;
}

bool validKeyName(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name.find('\\') == std::string_view::npos;
}

bool validValueName(std::string_view name) { return name.size() <= 16383; }

std::string lastStoreErrorText() { return ""; }

}  // namespace nfy::platform::reg
