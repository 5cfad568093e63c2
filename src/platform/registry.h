// The registry. Windows: advapi32. Linux: a file-backed store, one REGEDIT4
// text file per root key ("HKEY_LOCAL_MACHINE.reg") under $NFY_REGISTRY_ROOT,
// else /var/lib/nfydesk/registry. Functions return Win32 status codes.
//
// The Linux store behaves like the Windows functions it stands in for: names
// compare without regard to case; a key with subkeys cannot be deleted (5);
// an open key grants only the rights it was opened with (queries need
// kQueryValue, changes kSetValue, new subkeys kCreateSubKey, listing subkeys
// kEnumerateSubKeys; kMaximumAllowed grants all); an open key that another
// caller deleted answers 1018. A store file that cannot be read as REGEDIT4
// text makes every call on its root answer kBadFormat and is never
// overwritten.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nfy::platform::reg {

using Key = std::uintptr_t;

// Root keys, with the values Windows gives them.
constexpr Key kClassesRoot = 0x80000000u;
constexpr Key kCurrentUser = 0x80000001u;
constexpr Key kLocalMachine = 0x80000002u;
constexpr Key kUsers = 0x80000003u;
constexpr Key kPerformanceData = 0x80000004u;  // the Linux store answers 6 for it
constexpr Key kCurrentConfig = 0x80000005u;
constexpr Key kDynData = 0x80000006u;  // the Linux store answers 6 for it

// Status codes.
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kInvalidParameter = 87;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;
constexpr long kBadFormat = 1010;  // ERROR_BADKEY: the store file cannot be read
constexpr long kIoFailed = 1016;   // ERROR_REGISTRY_IO_FAILED: the store file cannot be written

// Value types.
constexpr uint32_t kString = 1;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;

// Access rights and views.
constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kCreateSubKey = 0x0004;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kRead = 0x20019;
constexpr uint32_t kWrite = 0x20006;
constexpr uint32_t kMaximumAllowed = 0x02000000;
constexpr uint32_t kAllAccess = 0xF003F;
constexpr uint32_t kWow64_64 = 0x0100;
constexpr uint32_t kWow64_32 = 0x0200;

long openKey(Key root, const std::string& subKey, uint32_t access, Key& out);
long createKey(Key root, const std::string& subKey, uint32_t access, Key& out);
long closeKey(Key key);
// An empty subKey deletes the key that root stands for (an open key).
long deleteKey(Key root, const std::string& subKey, uint32_t access);

// Like RegQueryValueExA: with data == nullptr or *size too small, *size gets
// the needed size and the answer is 0 (data null) or 234 (too small).
// String data include their terminating NUL.
long queryValue(Key key, const std::string& name, uint32_t* type, unsigned char* data, uint32_t* size);
long setValue(Key key, const std::string& name, uint32_t type, const unsigned char* data, uint32_t size);
long deleteValue(Key key, const std::string& name);

// The names that every call refuses, whatever the key: a subkey name that is
// empty, holds a backslash or is longer than 255 characters (and, in the
// Linux store, holds a line break), a subkey path deeper than kMaxDepth, a
// value name longer than 16383 characters (Linux store: holding a line
// break). For checking a batch of changes before the first is made.
constexpr size_t kMaxDepth = 512;
bool validKeyName(std::string_view name);
bool validValueName(std::string_view name);

// Why the last call that failed could not use the store's file, in the
// operating system's own words ("Input/output error"); empty where the
// status code says it all (Windows) or no file access failed.
std::string lastStoreErrorText();

long enumKey(Key key, uint32_t index, std::string& name);
long enumValue(Key key, uint32_t index, std::string& name, uint32_t& type, std::vector<unsigned char>& data);

}  // namespace nfy::platform::reg
