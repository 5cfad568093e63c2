#include "bridges/web_post.h"

#include <gtest/gtest.h>

#include "app/globals.h"
#include "bridges/fake_components.h"
#include "platform/system.h"
#include "support/sandbox.h"

namespace nfy::test {
namespace {

using component::Arg;
using component::Value;
using Lines = std::vector<std::string>;

constexpr long kLibNotRegistered = -2147319779L;
const std::string kRequest = "<wpdcmgetmsgstatus><mmid>7</mmid></wpdcmgetmsgstatus>";
const std::string kUrl = "http://127.0.0.1:1/tfr_wpdcmgetmsgstatus.asp?mmid=7&sid=2&rid=3&rty=1";

class WebPostTest : public ::testing::Test {
 protected:
  WebPostTest() {
    resetAllGlobals();
    sInstallPath = box.dir();
  }
  ~WebPostTest() override { resetAllGlobals(); }

  std::string registeredLine() const { return "Registered Dll : " + box.dir() + "nfyPoster.dll"; }
  std::string dataLine() const { return "MSG : Webposting data :: " + kRequest; }
  std::string sourceLine() const { return "MSG : Webposting Source :: " + kUrl; }

  Sandbox box;
  CapturedLog log{box};
  FakeComponents fakes;
};

// A member that answers with `result`, the reply and three error details.
FakeObject::CallHandler answering(Value result, std::string reply, std::string e1 = "", std::string e2 = "",
                                  std::string e3 = "") {
  return [=](const std::string&, std::vector<Arg>& args) {
    *args[5].ref = reply;
    *args[6].ref = e1;
    *args[7].ref = e2;
    *args[8].ref = e3;
    return result;
  };
}

// A member that raises `number` the first `times` calls, then answers true.
FakeObject::CallHandler failingTimes(long number, int times, std::string description = "Library not registered.") {
  auto left = std::make_shared<int>(times);
  return [=](const std::string&, std::vector<Arg>& args) -> Value {
    if ((*left)-- > 0) throw RuntimeError(number, description);
    *args[5].ref = "<ok/>";
    return true;
  };
}

TEST_F(WebPostTest, SuccessHandsTheNineArgumentsAndReturnsTheReply) {
  std::vector<Arg> seen;
  fakes.onCall = [&](const std::string& member, std::vector<Arg>& args) -> Value {
    EXPECT_EQ(member, "PostXMLString");
    seen = args;
    *args[0].ref = "changed by the component";  // must not reach the caller
    *args[5].ref = "<dcmgetmsgstatus/>";
    return true;
  };
  std::string data = kRequest, reply = "stale";
  EXPECT_TRUE(WebPost(data, kUrl, reply));
  EXPECT_EQ(reply, "<dcmgetmsgstatus/>");
  EXPECT_EQ(data, kRequest);
  EXPECT_EQ(fakes.created, (Lines{"nfyPoster.WebPost"}));
  EXPECT_EQ(fakes.alive, 0) << "the component is released before WebPost returns";
  EXPECT_EQ(log.lines(), (Lines{dataLine(), sourceLine(), "MSG : Webpost Received data :: <dcmgetmsgstatus/>"}));

  ASSERT_EQ(seen.size(), 9u);
  for (int i : {0, 2, 5, 6, 7, 8}) EXPECT_NE(seen[i].ref, nullptr) << "argument " << i + 1 << " by reference";
  for (int i : {1, 3, 4}) EXPECT_EQ(seen[i].ref, nullptr) << "argument " << i + 1 << " by value";
  EXPECT_EQ(seen[0].value.toString(), kRequest);
  EXPECT_TRUE(std::holds_alternative<bool>(seen[1].value.v));
  EXPECT_FALSE(seen[1].value.toBool());
  EXPECT_EQ(seen[2].value.toString(), kUrl);
  for (int i : {3, 4, 5, 6, 7, 8}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(seen[i].value.v)) << i + 1;
    EXPECT_EQ(seen[i].value.toString(), "") << "argument " << i + 1 << " empty on entry";
  }
}

TEST_F(WebPostTest, ReplyMayShareTheRequestsString) {
  std::string posted;
  fakes.onCall = [&](const std::string&, std::vector<Arg>& args) -> Value {
    posted = *args[0].ref;
    *args[5].ref = "<r/>";
    return true;
  };
  std::string buffer = kRequest;
  EXPECT_TRUE(WebPost(buffer, kUrl, buffer));
  EXPECT_EQ(posted, kRequest);
  EXPECT_EQ(buffer, "<r/>");
}

TEST_F(WebPostTest, FalseFromTheComponentLogsItsDetailsWithoutRegistering) {
  fakes.onCall = answering(false, "partial", "HTTP 500", "", "timeout");
  std::string reply;
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(reply, "partial");  // whatever the component left there
  fakes.onCall = answering(false, "");
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  // A false answer given as text or number converts the same way.
  fakes.onCall = answering(Value("False"), "");
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  fakes.onCall = answering(Value(int32_t{0}), "");
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(log.lines(), (Lines{dataLine(), sourceLine(), "ERR : WebPost Failed : HTTP 500::timeout", dataLine(),
                                sourceLine(), "ERR : WebPost Failed : ::", dataLine(), sourceLine(),
                                "ERR : WebPost Failed : ::", dataLine(), sourceLine(), "ERR : WebPost Failed : ::"}));
  EXPECT_EQ(fakes.created.size(), 4u);
}

TEST_F(WebPostTest, UnregisteredClassIsRegisteredAndCreatedOnceMore) {
  fakes.failCreations = 1;
  fakes.onCall = answering(true, "<r/>");
  std::string reply;
  EXPECT_TRUE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(reply, "<r/>");
  EXPECT_EQ(fakes.created.size(), 2u);
  EXPECT_EQ(log.lines(), (Lines{registeredLine(), dataLine(), sourceLine(), "MSG : Webpost Received data :: <r/>"}));
}

TEST_F(WebPostTest, ClassStillMissingAfterRegistrationFailsWithOneLine) {
  fakes.failCreations = 2;
  std::string reply = "stale";
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(fakes.created.size(), 2u);
  EXPECT_EQ(log.lines(),
            (Lines{registeredLine(), "ERR : Function WebPost :: 429:ActiveX component can't create object"}));
}

TEST_F(WebPostTest, UnregisteredTypeLibraryRetriesTheMemberCallOnce) {
  fakes.onCall = failingTimes(kLibNotRegistered, 1);
  std::string reply;
  EXPECT_TRUE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(reply, "<ok/>");
  EXPECT_EQ(fakes.created.size(), 1u) << "the component is not created again";
  EXPECT_EQ(fakes.eventNames(), (Lines{"call PostXMLString", "call PostXMLString"}));
  EXPECT_EQ(log.lines(), (Lines{dataLine(), sourceLine(), registeredLine(), "MSG : Webpost Received data :: <ok/>"}));
}

TEST_F(WebPostTest, SecondTypeLibraryFailureIsLoggedWithTheNegativeNumber) {
  fakes.onCall = failingTimes(kLibNotRegistered, 2);
  std::string reply;
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(fakes.alive, 0);
  EXPECT_EQ(log.lines(), (Lines{dataLine(), sourceLine(), registeredLine(),
                                "ERR : Function WebPost :: -2147319779:Library not registered."}));
}

TEST_F(WebPostTest, OtherErrorsAreNotRetried) {
  // A result that is not a boolean: type mismatch in the conversion.
  fakes.onCall = answering(Value("maybe"), "<r/>");
  std::string reply;
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  // A component error of its own, and a failed creation for another reason.
  fakes.onCall = failingTimes(-2147012867L, 1, "A connection with the server could not be established");
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  fakes.failCreations = 1;
  fakes.creationError = err::kOutOfMemory;
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_EQ(log.lines(),
            (Lines{dataLine(), sourceLine(), "ERR : Function WebPost :: 13:Type mismatch", dataLine(), sourceLine(),
                   "ERR : Function WebPost :: -2147012867:A connection with the server could not be established",
                   "ERR : Function WebPost :: 7:Out of memory"}));
  EXPECT_EQ(fakes.alive, 0);
}

TEST_F(WebPostTest, EveryCallMayStartItsOwnRegistration) {
  fakes.failCreations = 4;
  std::string reply;
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  const std::string failed = "ERR : Function WebPost :: 429:ActiveX component can't create object";
  EXPECT_EQ(log.lines(), (Lines{registeredLine(), failed, registeredLine(), failed}));
  // One registration per call even when the creation and then the member
  // call each fail for want of registration.
  fakes.failCreations = 1;
  fakes.onCall = failingTimes(kLibNotRegistered, 1);
  EXPECT_FALSE(WebPost(kRequest, kUrl, reply));
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[4], registeredLine());
  EXPECT_EQ(lines[7], "ERR : Function WebPost :: -2147319779:Library not registered.");
}

TEST_F(WebPostTest, InstallationFolderWithBlanksIsUsedAsBuilt) {
  sInstallPath = box.path("Agent Files") + platform::kPathSep;
  fakes.failCreations = 2;
  std::string reply;
  WebPost(kRequest, kUrl, reply);
  EXPECT_EQ(log.lines().front(), "Registered Dll : " + sInstallPath + "nfyPoster.dll");
}

}  // namespace
}  // namespace nfy::test
