// The registry store's contents in memory, and their REGEDIT4 text form.
// One tree per root key; names compare without regard to case and keep the
// case they were created with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nfy::platform::reg::store {

// Limits of the Windows registry that the store keeps too.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxDepth = 512;

struct Value {
  std::string name;  // "" is the key's default value
  uint32_t type = 0;
  std::vector<unsigned char> data;
};

class Node {
 public:
  explicit Node(std::string name = {}) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  // Subkeys, kept in case-insensitive name order (the order Windows lists them in).
  const std::vector<std::unique_ptr<Node>>& children() const { return children_; }
  Node* child(std::string_view name) const;
  // The subkey of that name, created when missing.
  Node& ensureChild(std::string_view name);
  bool removeChild(std::string_view name);

  // Values, in the order they were first set.
  const std::vector<Value>& values() const { return values_; }
  const Value* value(std::string_view name) const;
  // Sets a value; an existing one of that name keeps its place and name.
  void setValue(std::string_view name, uint32_t type, std::vector<unsigned char> data);
  bool removeValue(std::string_view name);

 private:
  std::string name_;
  std::vector<std::unique_ptr<Node>> children_;
  std::vector<Value> values_;
};

// A key name the store can hold: not empty, at most 255 characters, no
// backslash and no line break.
bool validKeyName(std::string_view name);
// A value name the store can write on one line (no line break).
bool validValueName(std::string_view name);

// Reads the text of a store file whose keys all lie under rootName
// ("HKEY_LOCAL_MACHINE") into root. False when the text is not a well-formed
// REGEDIT4 file of that root; root is then left in an unspecified state.
// Empty text is an empty store.
bool parse(std::string_view text, std::string_view rootName, Node& root);

// The REGEDIT4 text of a tree: every key in depth-first order, strings as
// "text" with \\ and \" escaped, dword:xxxxxxxx, hex: and hex(n): lists.
std::string serialize(const Node& root, std::string_view rootName);

}  // namespace nfy::platform::reg::store
