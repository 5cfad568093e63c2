#include "support/fake_components.h"

#include "base/errors.h"
#include "platform/component_testing.h"

namespace nfy::test {
namespace {

using platform::component::Arg;
using platform::component::Object;
using platform::component::Value;

class Poster : public Object {
 public:
  explicit Poster(FakePosterState& s) : s_(s) {}
  Value call(const std::string& member, std::vector<Arg>& args) override {
    if (member != "PostXMLString" || args.size() != 9) raiseError(err::kNoSuchMember);
    std::string url = args[2].value.toString();
    s_.posts.push_back({args[0].value.toString(), url});
    if (s_.whilePosting) s_.whilePosting();
    auto failure = s_.failAt.find(s_.posts.size() - 1);
    if (!s_.succeed || failure != s_.failAt.end()) {
      const auto& details = failure != s_.failAt.end() ? failure->second : s_.details;
      for (int i = 0; i < 3; ++i) *args[6 + i].ref = details[i];
      return Value(false);
    }
    std::string reply = s_.reply;
    for (const auto& [name, text] : s_.replyFor) {
      if (url.find("tfr_" + name + ".asp") != std::string::npos) reply = text;
    }
    *args[5].ref = reply;
    return Value(true);
  }
  void put(const std::string&, const Value&) override { raiseError(err::kNoSuchMember); }
  Value get(const std::string&) override { raiseError(err::kNoSuchMember); }

 private:
  FakePosterState& s_;
};

class Popup : public Object {
 public:
  explicit Popup(FakePopupState& s) : s_(s) {}
  Value call(const std::string& member, std::vector<Arg>&) override {
    if (member != "Popup") raiseError(err::kNoSuchMember);
    ++s_.shown;
    return {};
  }
  void put(const std::string& property, const Value& value) override { s_.properties[property] = value; }
  Value get(const std::string& property) override {
    if (property != "ClosedBy") raiseError(err::kNoSuchMember);
    return Value(s_.answer);
  }

 private:
  FakePopupState& s_;
};

}  // namespace

FakeComponents::FakeComponents() {
  platform::component::setFactoryForTesting([this](const std::string& progId) -> std::unique_ptr<Object> {
    if (progId == "nfyPoster.WebPost") return std::make_unique<Poster>(poster);
    if (progId == "nfyToast.Display" && !popup.failCreate) return std::make_unique<Popup>(popup);
    raiseError(err::kCannotCreateObject);
  });
}

FakeComponents::~FakeComponents() { platform::component::setFactoryForTesting({}); }

}  // namespace nfy::test
