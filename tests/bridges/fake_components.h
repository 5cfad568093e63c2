// Components that play the agent's poster and popup inside the test
// process, installed through the creation seam. Each records what the
// bridge did to it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "platform/component.h"
#include "platform/component_testing.h"

namespace nfy::test {

namespace component = platform::component;

// One thing done to a fake: "put Icon", "call Popup", "get ClosedBy".
struct Event {
  std::string what;
  component::Value value;  // the value put
};

class FakeObject : public component::Object {
 public:
  using CallHandler = std::function<component::Value(const std::string&, std::vector<component::Arg>&)>;
  using PutHandler = std::function<void(const std::string&, const component::Value&)>;
  using GetHandler = std::function<component::Value(const std::string&)>;

  FakeObject(std::vector<Event>& events, int& alive, CallHandler onCall, PutHandler onPut, GetHandler onGet)
      : events_(events), alive_(alive), onCall_(onCall), onPut_(onPut), onGet_(onGet) {
    ++alive_;
  }
  ~FakeObject() override { --alive_; }

  component::Value call(const std::string& member, std::vector<component::Arg>& args) override {
    events_.push_back({"call " + member, {}});
    return onCall_ ? onCall_(member, args) : component::Value();
  }
  void put(const std::string& property, const component::Value& value) override {
    events_.push_back({"put " + property, value});
    if (onPut_) onPut_(property, value);
  }
  component::Value get(const std::string& property) override {
    events_.push_back({"get " + property, {}});
    return onGet_ ? onGet_(property) : component::Value();
  }

 private:
  std::vector<Event>& events_;
  int& alive_;
  CallHandler onCall_;
  PutHandler onPut_;
  GetHandler onGet_;
};

// Installs itself as the component factory for its lifetime. The first
// `failCreations` creations raise `creationError`.
struct FakeComponents {
  std::vector<std::string> created;  // ProgIDs asked for, failed ones included
  std::vector<Event> events;
  int alive = 0;
  int failCreations = 0;
  long creationError = err::kCannotCreateObject;
  FakeObject::CallHandler onCall;
  FakeObject::PutHandler onPut;
  FakeObject::GetHandler onGet;

  FakeComponents() {
    component::setFactoryForTesting([this](const std::string& progId) -> std::unique_ptr<component::Object> {
      created.push_back(progId);
      if (failCreations > 0) {
        --failCreations;
        raiseError(creationError);
      }
      return std::make_unique<FakeObject>(events, alive, onCall, onPut, onGet);
    });
  }
  ~FakeComponents() { component::setFactoryForTesting({}); }
  FakeComponents(const FakeComponents&) = delete;
  FakeComponents& operator=(const FakeComponents&) = delete;

  std::vector<std::string> eventNames() const {
    std::vector<std::string> names;
    for (const auto& e : events) names.push_back(e.what);
    return names;
  }
};

}  // namespace nfy::test
