// The registry on Linux: the file-backed store of registry_file.h with the
// calling conventions and status codes of the Windows registry functions.
// Open keys are handles into a table of this process; every call reads the
// store afresh, so changes made by other processes are seen at once. There is
// one registry view: the view flags are accepted and ignored.
#include "platform/registry.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/posix/registry_file.h"
#include "platform/posix/registry_tree.h"

namespace nfy::platform::reg {
namespace {

constexpr long kKeyDeleted = 1018;  // ERROR_KEY_DELETED: the open key was deleted meanwhile
constexpr uint32_t kGenericAll = 0x10000000, kGenericRead = 0x80000000, kGenericWrite = 0x40000000;

struct OpenKey {
  Key root = 0;
  std::vector<std::string> path;  // names below the root
  uint32_t access = 0;
};

std::mutex tableMutex;
std::map<Key, OpenKey> table;
Key nextHandle = 0x1000;

const char* rootName(Key root) {
  switch (root) {
    case kClassesRoot: return "HKEY_CLASSES_ROOT";
    case kCurrentUser: return "HKEY_CURRENT_USER";
    case kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case kUsers: return "HKEY_USERS";
    case kCurrentConfig: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
  }
}

// The rights that an access mask grants, generic rights and "as much as
// allowed" expanded.
uint32_t granted(uint32_t access) {
  access &= ~(kWow64_32 | kWow64_64);
  if (access & (kMaximumAllowed | kGenericAll)) access |= kAllAccess;
  if (access & kGenericRead) access |= kRead;
  if (access & kGenericWrite) access |= kWrite;
  return access;
}

// The key a handle stands for: a root key (all rights) or an open key.
bool lookUp(Key key, OpenKey& out) {
  if (rootName(key)) {
    out = OpenKey{key, {}, kAllAccess};
    return true;
  }
  std::lock_guard<std::mutex> guard(tableMutex);
  auto it = table.find(key);
  if (it == table.end()) return false;
  out = it->second;
  return true;
}

Key addHandle(OpenKey key) {
  std::lock_guard<std::mutex> guard(tableMutex);
  Key handle = nextHandle++;
  table[handle] = std::move(key);
  return handle;
}

// Appends the names of a subkey path ("a\b\c") to path; false when a name is
// not valid or the path grows too deep. Empty names (a leading, doubled or
// trailing backslash) are skipped.
bool appendPath(std::vector<std::string>& path, const std::string& subKey) {
  size_t pos = 0;
  while (pos <= subKey.size()) {
    size_t next = subKey.find('\\', pos);
    if (next == std::string::npos) next = subKey.size();
    std::string name = subKey.substr(pos, next - pos);
    pos = next + 1;
    if (name.empty()) continue;
    if (!store::validKeyName(name) || path.size() >= store::kMaxDepth) return false;
    path.push_back(std::move(name));
  }
  return true;
}

store::Node* find(store::Node& tree, const std::vector<std::string>& path) {
  store::Node* node = &tree;
  for (const auto& name : path) {
    node = node->child(name);
    if (!node) return nullptr;
  }
  return node;
}

// Loads the tree of an open key's root and finds the key in it.
long loadKey(const OpenKey& key, store::Node& tree, store::Node*& node) {
  if (long rc = store::load(rootName(key.root), tree); rc != kSuccess) return rc;
  node = find(tree, key.path);
  return node ? kSuccess : kKeyDeleted;
}

// Resolves a handle and its right for a value or enumeration call.
long openForUse(Key key, uint32_t right, OpenKey& out) {
  if (!lookUp(key, out)) return kInvalidHandle;
  return (granted(out.access) & right) == right ? kSuccess : kAccessDenied;
}

}  // namespace

long openKey(Key root, const std::string& subKey, uint32_t access, Key& out) {
  out = 0;
  OpenKey parent;
  if (!lookUp(root, parent)) return kInvalidHandle;
  OpenKey key{parent.root, parent.path, access};
  if (!appendPath(key.path, subKey)) return kFileNotFound;
  store::Node tree;
  store::Node* node = nullptr;
  if (long rc = loadKey(key, tree, node); rc != kSuccess) return rc == kKeyDeleted ? kFileNotFound : rc;
  out = addHandle(std::move(key));
  return kSuccess;
}

long createKey(Key root, const std::string& subKey, uint32_t access, Key& out) {
  out = 0;
  OpenKey parent;
  if (!lookUp(root, parent)) return kInvalidHandle;
  if (!(granted(parent.access) & kCreateSubKey)) return kAccessDenied;
  OpenKey key{parent.root, parent.path, access};
  if (!appendPath(key.path, subKey)) return kInvalidParameter;
  long rc = store::update(rootName(key.root), [&](store::Node& tree, bool& changed) {
    store::Node* node = find(tree, parent.path);
    if (!node) return kKeyDeleted;
    for (size_t i = parent.path.size(); i < key.path.size(); ++i) {
      if (store::Node* next = node->child(key.path[i])) {
        node = next;
      } else {
        node = &node->ensureChild(key.path[i]);
        changed = true;
      }
    }
    return kSuccess;
  });
  if (rc != kSuccess) return rc;
  out = addHandle(std::move(key));
  return kSuccess;
}

long closeKey(Key key) {
  if (rootName(key)) return kSuccess;
  std::lock_guard<std::mutex> guard(tableMutex);
  return table.erase(key) ? kSuccess : kInvalidHandle;
}

long deleteKey(Key root, const std::string& subKey, uint32_t /*access: one view*/) {
  OpenKey parent;
  if (!lookUp(root, parent)) return kInvalidHandle;
  std::vector<std::string> path = parent.path;
  if (!appendPath(path, subKey)) return kFileNotFound;
  if (path.empty()) return kAccessDenied;  // a root key cannot be deleted
  return store::update(rootName(parent.root), [&](store::Node& tree, bool& changed) {
    store::Node* node = find(tree, path);
    if (!node) return path.size() == parent.path.size() ? kKeyDeleted : kFileNotFound;
    if (!node->children().empty()) return kAccessDenied;  // like Windows: subkeys first
    std::vector<std::string> above(path.begin(), path.end() - 1);
    find(tree, above)->removeChild(path.back());
    changed = true;
    return kSuccess;
  });
}

long queryValue(Key key, const std::string& name, uint32_t* type, unsigned char* data, uint32_t* size) {
  OpenKey open;
  if (long rc = openForUse(key, kQueryValue, open); rc != kSuccess) return rc;
  if (data && !size) return kInvalidParameter;
  store::Node tree;
  store::Node* node = nullptr;
  if (long rc = loadKey(open, tree, node); rc != kSuccess) return rc;
  const store::Value* value = node->value(name);
  if (!value) return kFileNotFound;
  if (type) *type = value->type;
  uint32_t needed = static_cast<uint32_t>(value->data.size());
  if (!size) return kSuccess;
  if (!data) {
    *size = needed;
    return kSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return kMoreData;
  }
  if (needed) std::memcpy(data, value->data.data(), needed);
  *size = needed;
  return kSuccess;
}

long setValue(Key key, const std::string& name, uint32_t type, const unsigned char* data, uint32_t size) {
  OpenKey open;
  if (long rc = openForUse(key, kSetValue, open); rc != kSuccess) return rc;
  if ((!data && size) || !store::validValueName(name)) return kInvalidParameter;
  std::vector<unsigned char> bytes(data, data + (data ? size : 0));
  return store::update(rootName(open.root), [&](store::Node& tree, bool& changed) {
    store::Node* node = find(tree, open.path);
    if (!node) return kKeyDeleted;
    node->setValue(name, type, std::move(bytes));
    changed = true;
    return kSuccess;
  });
}

long deleteValue(Key key, const std::string& name) {
  OpenKey open;
  if (long rc = openForUse(key, kSetValue, open); rc != kSuccess) return rc;
  return store::update(rootName(open.root), [&](store::Node& tree, bool& changed) {
    store::Node* node = find(tree, open.path);
    if (!node) return kKeyDeleted;
    if (!node->removeValue(name)) return kFileNotFound;
    changed = true;
    return kSuccess;
  });
}

long enumKey(Key key, uint32_t index, std::string& name) {
  OpenKey open;
  if (long rc = openForUse(key, kEnumerateSubKeys, open); rc != kSuccess) return rc;
  store::Node tree;
  store::Node* node = nullptr;
  if (long rc = loadKey(open, tree, node); rc != kSuccess) return rc;
  if (index >= node->children().size()) return kNoMoreItems;
  name = node->children()[index]->name();
  return kSuccess;
}

long enumValue(Key key, uint32_t index, std::string& name, uint32_t& type, std::vector<unsigned char>& data) {
  OpenKey open;
  if (long rc = openForUse(key, kQueryValue, open); rc != kSuccess) return rc;
  store::Node tree;
  store::Node* node = nullptr;
  if (long rc = loadKey(open, tree, node); rc != kSuccess) return rc;
  if (index >= node->values().size()) return kNoMoreItems;
  const store::Value& v = node->values()[index];
  name = v.name;
  type = v.type;
  data = v.data;
  return kSuccess;
}

bool validKeyName(std::string_view name) { return store::validKeyName(name); }

bool validValueName(std::string_view name) { return store::validValueName(name); }

}  // namespace nfy::platform::reg
