#include "base/errors.h"
#include "base/text.h"
#include "platform/component.h"

namespace nfy::platform::component {

bool Value::toBool() const {
  struct Visitor {
    bool operator()(std::monostate) const { return false; }
    bool operator()(bool b) const { return b; }
    bool operator()(int16_t i) const { return i != 0; }
    bool operator()(int32_t i) const { return i != 0; }
    bool operator()(const std::string& s) const {
      if (iequals(trim(s), "True")) return true;
      if (iequals(trim(s), "False")) return false;
      return strictNumber(s) != 0;  // raises 13 for any other text
    }
  };
  return std::visit(Visitor{}, v);
}

std::string Value::toString() const {
  struct Visitor {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(int16_t i) const { return std::to_string(i); }
    std::string operator()(int32_t i) const { return std::to_string(i); }
    std::string operator()(const std::string& s) const { return s; }
  };
  return std::visit(Visitor{}, v);
}

}  // namespace nfy::platform::component
