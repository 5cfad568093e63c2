#include "platform/posix/popup_object.h"

#include <cmath>

#include "platform/posix/component_args.h"

namespace nfy::platform::component {
namespace {

const char* const kPropertyNames[] = {
    "Icon", "Header", "Body", "DisplayTimeSeconds", "PopupHeight", "PopupWidth", "TransparencyLevel", "ModalForm"};
enum { kHeader = 1, kBody = 2, kDisplayTime = 3 };

int propertyIndex(const std::string& name) {
  for (int i = 0; i < 8; ++i)
    if (isMember(name, kPropertyNames[i])) return i;
  return -1;
}

// A display time as automation converts it: numbers as they are, True as -1,
// numeric text by value; other text raises 13 "Type mismatch".
long seconds(const Value& v) {
  struct Visitor {
    double operator()(std::monostate) const { return 0; }
    double operator()(bool b) const { return b ? -1 : 0; }
    double operator()(int16_t i) const { return i; }
    double operator()(int32_t i) const { return i; }
    double operator()(const std::string& s) const { return strictNumber(s); }
  };
  double d = std::round(std::visit(Visitor{}, v.v));
  // Negative times make no sense; they are taken as "no expiry" like 0.
  if (!(d > 0)) return 0;
  return d > kPopupMaxSeconds ? kPopupMaxSeconds : static_cast<long>(d);
}

}  // namespace

PopupSettings PopupObject::settings() const {
  PopupSettings s;
  s.header = props_[kHeader].toString();
  s.body = props_[kBody].toString();
  s.displaySeconds = seconds(props_[kDisplayTime]);
  return s;
}

Value PopupObject::call(const std::string& member, std::vector<Arg>&) {
  if (!isMember(member, "Popup")) raiseError(err::kNoSuchMember);
  closedBy_ = show(settings());
  return Value();
}

void PopupObject::put(const std::string& property, const Value& value) {
  int i = propertyIndex(property);
  if (i < 0) raiseError(err::kNoSuchMember);
  props_[i] = value;
}

Value PopupObject::get(const std::string& property) {
  if (isMember(property, "ClosedBy")) return Value(closedBy_);
  int i = propertyIndex(property);
  if (i < 0) raiseError(err::kNoSuchMember);
  return props_[i];
}

}  // namespace nfy::platform::component
