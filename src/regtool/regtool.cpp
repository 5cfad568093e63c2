#include "regtool/regtool.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "base/text.h"
#include "platform/file_read.h"
#include "platform/registry.h"
#include "registry/key_path.h"
#include "registry/registry_access.h"
#include "regtool/reg_import.h"

namespace nfy::regtool {

const char* const kUsage =
    "usage: nfyDeskReg [--64] [--no-create] VERB ARGUMENTS\n"
    "\n"
    "nfyDeskReg create-key PATH              nfyDeskReg delete-key PATH [--recursive]\n"
    "nfyDeskReg key-exists PATH              nfyDeskReg list-keys PATH [--display-names]\n"
    "nfyDeskReg list-values PATH [--type string|binary|dword]\n"
    "nfyDeskReg read-string PATH NAME        nfyDeskReg write-string PATH NAME VALUE\n"
    "nfyDeskReg read-dword PATH NAME         nfyDeskReg write-dword PATH NAME NUMBER\n"
    "nfyDeskReg read-binary PATH NAME        nfyDeskReg write-binary PATH NAME HEX\n"
    "nfyDeskReg value-exists PATH NAME       nfyDeskReg delete-value PATH NAME\n"
    "nfyDeskReg export PATH FILE [--no-subkeys]\n"
    "nfyDeskReg import FILE\n"
    "\n"
    "PATH begins with a root key, long or short: HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM),\n"
    "HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKUS), HKEY_CURRENT_CONFIG (HKCC), e.g. HKLM\\SOFTWARE\\VELTOR.\n"
    "--64 uses the 64-bit registry view where the verb has it; --no-create makes the writers fail\n"
    "on a missing key instead of creating it. NUMBER is decimal (-2147483648..4294967295) or 0x hex;\n"
    "HEX is hex digits, pairs optionally separated by blanks. Exit status: 0 success (or: it exists),\n"
    "1 failure (or: it does not exist), 2 bad usage.\n";

namespace {

constexpr int kOk = 0, kFailed = 1, kBadUsage = 2;

struct UsageError {
  std::string what;  // empty: show the usage text only
};

struct Command {
  bool use64 = false;
  std::string verb;
  std::vector<std::string> operands;
  std::vector<std::string> flags;  // --recursive, --display-names, --no-subkeys, --type
  std::string type;
};

class Tool {
 public:
  Tool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  int run(const std::vector<std::string>& args) {
    Command c = parse(args);
    return dispatch(c);
  }

  clsRegistryAccess reg;

 private:
  Command parse(const std::vector<std::string>& args) {
    Command c;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
      if (args[i] == "--help") {
        c.verb = "--help";
        return c;
      }
      if (args[i] == "--64") {
        c.use64 = true;
      } else if (args[i] == "--no-create") {
        reg.CreateKeyIfDoesntExists(false);
      } else {
        throw UsageError{"unknown option " + args[i]};
      }
    }
    if (i == args.size()) throw UsageError{};
    c.verb = args[i++];
    for (; i < args.size(); ++i) {
      if (args[i] == "--type") {
        if (++i == args.size()) throw UsageError{"--type needs string, binary or dword"};
        c.type = args[i];
        c.flags.push_back("--type");
      } else if (args[i].rfind("--", 0) == 0) {
        c.flags.push_back(args[i]);
      } else {
        c.operands.push_back(args[i]);
      }
    }
    return c;
  }

  void expect(const Command& c, size_t operands, std::initializer_list<const char*> allowed = {}) {
    if (c.operands.size() != operands) throw UsageError{c.verb + " takes " + std::to_string(operands) + " argument(s)"};
    for (const std::string& f : c.flags) {
      bool ok = false;
      for (const char* a : allowed) ok = ok || f == a;
      if (!ok) throw UsageError{c.verb + " does not take " + f};
    }
  }

  static bool has(const Command& c, const char* flag) {
    for (const auto& f : c.flags) {
      if (f == flag) return true;
    }
    return false;
  }

  // PATH must begin with a known root and name no empty key.
  static void checkPath(const std::string& path) {
    std::string copy = path, subKey;
    if (path.empty() || registry::parseKeyPath(copy, subKey) == 0) {
      throw UsageError{"\"" + path + "\" does not begin with a root key name (HKLM, HKEY_CURRENT_USER ...)"};
    }
    if (copy.find('\\') != std::string::npos && subKey.empty()) throw UsageError{"\"" + path + "\" names no key"};
  }

  // A whole tree that the tool never deletes: a root key, a key directly
  // under a root (HKCU\Software, HKLM\SYSTEM), or a key directly under one
  // of the system keys other than HKLM\SOFTWARE, where programs keep their
  // own keys (HKLM\SYSTEM\CurrentControlSet), judged on the key the path
  // addresses. The text saying which key it is; empty when the tree may go.
  static std::string refusedTree(const std::string& path) {
    registry::KeyAddress a = registry::addressOf(path);
    std::string why;
    if (a.names.empty()) {
      why = " is a root key";
    } else if (a.names.size() == 1) {
      why = " lies directly under a root key";
    } else {
      registry::KeyAddress parent = a;
      parent.names.pop_back();
      bool programsKey = parent.names.size() == 1 && iequals(parent.names[0], "SOFTWARE");
      if (!registry::isProtectedKey(parent.text()) || programsKey) return "";
      why = " lies directly under a system key";
    }
    return a.text() + why + ": it is never deleted with everything below it";
  }

  static int32_t parseNumber(const std::string& text) {
    const char* s = text.c_str();
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    long long v = hex ? static_cast<long long>(std::strtoull(s + 2, &end, 16)) : std::strtoll(s, &end, 10);
    bool digitsOnly = !text.empty() && end && *end == '\0' && end != (hex ? s + 2 : s) &&
                      text.find_first_of(" \t") == std::string::npos && !(hex && (s[2] == '-' || s[2] == '+'));
    if (!digitsOnly) throw UsageError{"\"" + text + "\" is not a number"};
    if (errno == ERANGE || v < -2147483648LL || v > 4294967295LL) {
      throw UsageError{"\"" + text + "\" is out of range (-2147483648..4294967295)"};
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));
  }

  int failed(const std::string& what) {
    err_ << "nfyDeskReg: " << what << "\n";
    return kFailed;
  }

  int dispatch(const Command& c) {
    const std::string& v = c.verb;
    if (v == "--help" || v == "help") {
      out_ << kUsage;
      return kOk;
    }
    if (v == "import") {
      expect(c, 1);
      return import(c.operands[0], c.use64);
    }
    if (c.operands.empty()) throw UsageError{v == "" ? "" : v + " needs a PATH"};
    const std::string& path = c.operands[0];
    if (v == "create-key") {
      expect(c, 1);
      checkPath(path);
      std::string e;
      int32_t r = c.use64 ? reg.CreateKey64Bit(path, &e) : reg.CreateKey(path, &e);
      return r != 0 || (c.use64 && reg.KeyExists(path)) ? kOk : failed("cannot create " + path);
    }
    if (v == "delete-key") {
      expect(c, 1, {"--recursive"});
      checkPath(path);
      if (has(c, "--recursive")) {
        if (std::string refused = refusedTree(path); !refused.empty()) return failed(refused);
      }
      std::string e, recursive = has(c, "--recursive") ? "Y" : "";
      int32_t r = c.use64 ? reg.KillKey64bit(path, recursive, &e) : reg.KillKey(path, recursive, &e);
      if (r != 0 && !reg.KeyExists(path)) return kOk;
      return failed(e.empty() ? "cannot delete " + path : e);
    }
    if (v == "key-exists") {
      expect(c, 1);
      checkPath(path);
      bool yes = reg.KeyExists(path);
      out_ << (yes ? "yes" : "no") << "\n";
      return yes ? kOk : kFailed;
    }
    if (v == "list-keys") {
      expect(c, 1, {"--display-names"});
      checkPath(path);
      std::vector<std::string> keys;
      int32_t n = has(c, "--display-names") ? reg.EnumKeysSoftware(path, keys)
                  : c.use64                 ? reg.EnumKeys64Bit(path, keys)
                                            : reg.EnumKeys(path, keys);
      if (n < 0) return failed("cannot open " + path);
      for (const auto& k : keys) out_ << k << "\n";
      return kOk;
    }
    if (v == "list-values") {
      expect(c, 1, {"--type"});
      checkPath(path);
      int32_t only = -1;
      if (has(c, "--type")) {
        if (c.type == "string") {
          only = 1;
        } else if (c.type == "binary") {
          only = 3;
        } else if (c.type == "dword") {
          only = 4;
        } else {
          throw UsageError{"--type needs string, binary or dword"};
        }
      }
      std::vector<std::string> names;
      std::vector<RegistryValue> values;
      if (reg.EnumValues(path, names, values, only) < 0) return failed("cannot open " + path);
      for (size_t i = 0; i < names.size(); ++i) {
        out_ << (names[i].empty() ? "@" : names[i]) << "=";
        if (const auto* s = std::get_if<std::string>(&values[i])) out_ << *s;
        if (const auto* n = std::get_if<int32_t>(&values[i])) out_ << *n;
        out_ << "\n";
      }
      return kOk;
    }
    if (v == "export") {
      expect(c, 2, {"--no-subkeys"});
      checkPath(path);
      if (reg.ExportToReg(path, c.operands[1], !has(c, "--no-subkeys")) != 0) return kOk;
      return failed("cannot export " + path + " to " + c.operands[1] +
                    " (the file must not exist yet, and the key must exist)");
    }
    return valueVerb(c);
  }

  int valueVerb(const Command& c) {
    const std::string& v = c.verb;
    const std::string& path = c.operands[0];
    const bool reader =
        v == "read-string" || v == "read-dword" || v == "read-binary" || v == "value-exists" || v == "delete-value";
    const bool writer = v == "write-string" || v == "write-dword" || v == "write-binary";
    if (!reader && !writer) throw UsageError{"unknown verb " + v};
    expect(c, writer ? 3 : 2);
    checkPath(path);
    const std::string& name = c.operands[1];
    std::string e;
    if (v == "read-string") {
      std::string value = reg.ReadString(path, name, &e);
      if (!e.empty()) return failed(e);
      out_ << value << "\n";
      return kOk;
    }
    if (v == "read-dword" || v == "read-binary") {
      if (!reg.ValueExists(path, name)) return failed("no value " + name + " in " + path);
      if (v == "read-dword") {
        out_ << reg.ReadDWORD(path, name) << "\n";
      } else {
        out_ << reg.ReadBinary(path, name) << "\n";
      }
      return kOk;
    }
    if (v == "value-exists") {
      bool yes = reg.ValueExists(path, name);
      out_ << (yes ? "yes" : "no") << "\n";
      return yes ? kOk : kFailed;
    }
    if (v == "delete-value") {
      int32_t r = c.use64 ? reg.KillValue64bit(path, name, &e) : reg.KillValue(path, name, &e);
      return r != 0 && e.empty() ? kOk : failed(e.empty() ? "cannot delete " + name : e);
    }
    const std::string& value = c.operands[2];
    int32_t r = 0;
    if (v == "write-string") {
      r = reg.WriteString(path, name, value, &e);
    } else if (v == "write-dword") {
      int32_t n = parseNumber(value);
      r = c.use64 ? reg.WriteDWORD64Bit(path, name, n, &e) : reg.WriteDWORD(path, name, n, &e);
    } else {
      if (!reg.isBinValid(value)) throw UsageError{"\"" + value + "\" is not hex text (digits 0-9, a-f, blanks)"};
      r = c.use64 ? reg.WriteBinary64bit(path, name, value, &e) : reg.WriteBinary(path, name, value, &e);
    }
    if (r != 0) return kOk;
    return failed(e.empty() ? "cannot write " + name + " in " + path : e);
  }

  int import(const std::string& fileName, bool use64) {
    // Read like every file that comes from outside: a regular file only, not
    // through a link, never waiting on a FIFO or device, and no more than
    // the parser takes (one byte more tells it the file is too large).
    std::string bytes;
    if (platform::readFile(fileName, bytes, {.maxBytes = kMaxImportBytes, .keepStart = true}) !=
        platform::ReadStatus::Ok) {
      return failed(fileName + ": cannot be read (it must be a regular file, not a link)");
    }
    ImportFile parsed = parseImportFile(bytes);
    if (!parsed.ok) {
      std::string where = parsed.errorLine ? ": line " + std::to_string(parsed.errorLine) : "";
      return failed(fileName + where + ": " + parsed.error + "; nothing was imported");
    }
    // Everything the registry or the tool would refuse is found before the
    // first change, so that such a file changes nothing.
    for (const ImportEntry& entry : parsed.entries) {
      if (std::string refused = refusal(entry); !refused.empty()) {
        return failed(fileName + ": line " + std::to_string(entry.line) + ": " + refused + "; nothing was imported");
      }
    }
    // A write that fails nonetheless (a full disk, a key another program
    // holds) stops the import there: what the lines before it wrote stays.
    for (const ImportEntry& entry : parsed.entries) {
      if (!apply(entry, use64)) {
        return failed(fileName + ": line " + std::to_string(entry.line) + ": cannot be written" +
                      (lastError_.empty() ? "" : ": " + lastError_) +
                      "; the lines before it were imported, this one and those after it were not");
      }
    }
    return kOk;
  }

  // Why the registry or the tool would refuse an entry; empty when neither.
  static std::string refusal(const ImportEntry& e) {
    using Kind = ImportEntry::Kind;
    registry::KeyAddress a = registry::addressOf(e.path);
    // Only the roots that hold keys of their own may be written; the
    // performance data and the dynamic data of old systems hold none.
    if (a.root != platform::reg::kLocalMachine && a.root != platform::reg::kCurrentUser &&
        a.root != platform::reg::kClassesRoot && a.root != platform::reg::kUsers &&
        a.root != platform::reg::kCurrentConfig) {
      return registry::KeyAddress{a.root, {}}.text() + " is a root key that cannot be written";
    }
    if (a.names.size() > platform::reg::kMaxDepth) return "the key lies too deep";
    for (const std::string& name : a.names) {
      if (!platform::reg::validKeyName(name)) return "a key name that the registry refuses (too long, or a line break)";
    }
    if (e.kind == Kind::DeleteKey) {
      if (registry::isProtectedKey(e.path)) return a.text() + " is a system key that is never deleted";
      return refusedTree(e.path);
    }
    if (e.kind != Kind::Key && !platform::reg::validValueName(e.name)) {
      return "a value name that the registry refuses (too long, or a line break)";
    }
    return "";
  }

  bool apply(const ImportEntry& e, bool use64) {
    using Kind = ImportEntry::Kind;
    lastError_.clear();
    std::string& err = lastError_;
    switch (e.kind) {
      case Kind::Key:
        return (use64 ? reg.CreateKey64Bit(e.path, &err) : reg.CreateKey(e.path, &err)) != 0 || reg.KeyExists(e.path);
      case Kind::DeleteKey:
        if (!reg.KeyExists(e.path)) return true;
        (use64 ? reg.KillKey64bit(e.path, "Y", &err) : reg.KillKey(e.path, "Y", &err));
        return !reg.KeyExists(e.path);
      case Kind::String: return reg.WriteString(e.path, e.name, e.data, &err) != 0;
      case Kind::Binary: {
        std::string hex = reg.BinToStr(e.data);
        return (use64 ? reg.WriteBinary64bit(e.path, e.name, hex, &err) : reg.WriteBinary(e.path, e.name, hex, &err)) !=
               0;
      }
      case Kind::Dword: {
        auto n = static_cast<int32_t>(e.number);
        return (use64 ? reg.WriteDWORD64Bit(e.path, e.name, n, &err) : reg.WriteDWORD(e.path, e.name, n, &err)) != 0;
      }
      case Kind::DeleteValue:
        if (!reg.ValueExists(e.path, e.name)) return true;
        reg.KillValue(e.path, e.name, &err);
        return !reg.ValueExists(e.path, e.name);
    }
    return false;
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string lastError_;
};

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Tool tool(out, err);
  try {
    return tool.run(args);
  } catch (const UsageError& u) {
    if (!u.what.empty()) err << "nfyDeskReg: " << u.what << "\n";
    err << kUsage;
    return kBadUsage;
  } catch (const std::exception& e) {
    err << "nfyDeskReg: " << e.what() << "\n";
    return kFailed;
  }
}

}  // namespace nfy::regtool
