#include "bridges/popup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/globals.h"
#include "app/paths.h"
#include "bridges/fake_components.h"
#include "support/sandbox.h"

namespace nfy::test {
namespace {

using component::Value;
using Lines = std::vector<std::string>;

class PopupTest : public ::testing::Test {
 protected:
  PopupTest() {
    resetAllGlobals();
    sInstallPath = box.dir();
    box.write("nfyDesk\\nfyToast.dll", "MZ");
  }
  ~PopupTest() override { resetAllGlobals(); }

  // The call every notification makes, with the given display time.
  bool show(std::string& answer, int32_t displayTime = 10) {
    return fncCallPopup(6, "You have 2 new messages", "Click here to open the inbox.", displayTime, 1800, 6000, 100, 1,
                        answer);
  }
  std::string toastPath() const { return box.dir() + paths::popupComponent(); }
  Lines failureLines(const std::string& description) const {
    return {"MSG : In fncRegisterDLL, " + toastPath(), "Registered Dll : " + toastPath(),
            "ERR : fncCallPopup, " + description};
  }

  Sandbox box;
  CapturedLog log{box};
  FakeComponents fakes;
};

TEST_F(PopupTest, SetsTheEightPropertiesInOrderThenShowsAndReadsTheAnswer) {
  fakes.onGet = [](const std::string&) { return Value("CLICK"); };
  std::string answer;
  ASSERT_TRUE(show(answer, 0));
  EXPECT_EQ(answer, "CLICK");
  EXPECT_EQ(fakes.created, Lines{"nfyToast.Display"});
  EXPECT_EQ(fakes.eventNames(),
            (Lines{"put Icon", "put Header", "put Body", "put DisplayTimeSeconds", "put PopupHeight", "put PopupWidth",
                   "put TransparencyLevel", "put ModalForm", "call Popup", "get ClosedBy"}));
  // Each value with its own type: two strings, one 16-bit and five 32-bit integers.
  const auto& e = fakes.events;
  EXPECT_EQ(std::get<int32_t>(e[0].value.v), 6);
  EXPECT_EQ(std::get<std::string>(e[1].value.v), "You have 2 new messages");
  EXPECT_EQ(std::get<std::string>(e[2].value.v), "Click here to open the inbox.");
  EXPECT_EQ(std::get<int32_t>(e[3].value.v), 0);
  EXPECT_EQ(std::get<int32_t>(e[4].value.v), 1800);
  EXPECT_EQ(std::get<int32_t>(e[5].value.v), 6000);
  EXPECT_EQ(std::get<int16_t>(e[6].value.v), 100);
  EXPECT_EQ(std::get<int32_t>(e[7].value.v), 1);
  EXPECT_EQ(fakes.alive, 0);
  EXPECT_EQ(log.lines(), Lines{"MSg : In fncCallPopup"});
}

TEST_F(PopupTest, EveryAnswerIsPassedOnUnchanged) {
  for (Value closedBy : {Value("EXIT"), Value("CLICK"), Value("AUTOCLOSE"), Value("OKCLICK"), Value(""), Value("exit"),
                         Value(int32_t{5}), Value(true), Value()}) {
    fakes.onGet = [&](const std::string&) { return closedBy; };
    std::string answer = "previous";
    EXPECT_TRUE(show(answer));
    EXPECT_EQ(answer, closedBy.toString());
  }
}

TEST_F(PopupTest, MissingFileIsReportedAndTheCreationStillAttempted) {
  box.write("nfyDesk\\nfyToast.dll", "");
  std::filesystem::remove(toastPath());
  fakes.failCreations = 1;
  std::string answer = "previous";
  EXPECT_FALSE(show(answer));
  EXPECT_EQ(answer, "previous");
  EXPECT_EQ(fakes.created.size(), 1u) << "no second attempt within the call";
  Lines expected{"MSg : In fncCallPopup", "ERR : " + toastPath() + " is missing. "};
  for (auto& l : failureLines("ActiveX component can't create object")) expected.push_back(l);
  EXPECT_EQ(log.lines(), expected);
}

TEST_F(PopupTest, UnregisteredComponentIsRegisteredForTheNextRun) {
  fakes.failCreations = 1;
  std::string answer = "previous";
  EXPECT_FALSE(show(answer));
  EXPECT_EQ(answer, "previous");
  Lines expected{"MSg : In fncCallPopup"};
  for (auto& l : failureLines("ActiveX component can't create object")) expected.push_back(l);
  EXPECT_EQ(log.lines(), expected);
}

TEST_F(PopupTest, AnyFailureOfTheComponentRegistersItAndLeavesTheAnswer) {
  struct Case {
    std::string failingStep;
    RuntimeError error;
  };
  for (const Case& c : {Case{"put TransparencyLevel", RuntimeError(6, "Overflow")},
                        Case{"call Popup", RuntimeError(-2147467259, "Unspecified error")},
                        Case{"get ClosedBy", RuntimeError(438, "Object doesn't support this property or method")}}) {
    FakeComponents local;
    auto failAt = [&](const std::string& step) {
      if (step == c.failingStep) throw c.error;
    };
    local.onPut = [&](const std::string& name, const Value&) { failAt("put " + name); };
    local.onCall = [&](const std::string& name, std::vector<component::Arg>&) {
      failAt("call " + name);
      return Value();
    };
    local.onGet = [&](const std::string& name) {
      failAt("get " + name);
      return Value("CLICK");
    };
    const size_t before = log.lines().size();
    std::string answer = "previous";
    EXPECT_FALSE(show(answer)) << c.failingStep;
    EXPECT_EQ(answer, "previous");
    EXPECT_EQ(local.events.back().what, c.failingStep) << "nothing after the failing step";
    EXPECT_EQ(local.alive, 0);
    Lines expected{"MSg : In fncCallPopup"};
    for (auto& l : failureLines(c.error.description())) expected.push_back(l);
    Lines lines = log.lines();
    EXPECT_EQ(Lines(lines.begin() + before, lines.end()), expected) << c.failingStep;
  }
}

TEST_F(PopupTest, BuiltInPopupIsCheckedForInsteadOfItsFile) {
  // A popup built into the program has no file to look for: only an
  // unusable one is reported, and the attempt goes on either way.
  std::filesystem::remove(toastPath());
  for (bool available : {true, false}) {
    component::setAvailabilityForTesting([&](const std::string& progId) -> std::optional<bool> {
      EXPECT_EQ(progId, "nfyToast.Display");
      return available;
    });
    const size_t before = log.lines().size();
    std::string answer;
    EXPECT_TRUE(show(answer));
    Lines expected{"MSg : In fncCallPopup"};
    if (!available)
      expected.push_back("ERR : nfyToast.Display is not available: no notification service and no terminal. ");
    Lines lines = log.lines();
    EXPECT_EQ(Lines(lines.begin() + before, lines.end()), expected) << available;
  }
  component::setAvailabilityForTesting({});
}

}  // namespace
}  // namespace nfy::test
