// The real COM path under Wine: late binding through platform::component and
// the two bridges, with the test components registered by regsvr32.
#include <gtest/gtest.h>
#include <ole2.h>

#include <filesystem>

#include "app/globals.h"
#include "base/errors.h"
#include "bridges/popup.h"
#include "bridges/web_post.h"
#include "bridges/win32/com_support.h"
#include "platform/component.h"
#include "support/sandbox.h"

namespace nfy::test {
namespace {

namespace component = platform::component;
using component::Arg;
using component::Value;
using Lines = std::vector<std::string>;

const std::string kPoster = "nfyPoster.WebPost";
const std::string kToast = "nfyToast.Display";

// Raises what `f` raises, as number and description; fails when it does not.
template <typename F>
RuntimeError errorOf(F&& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return RuntimeError(0, "");
}

class ComTest : public ::testing::Test {
 protected:
  ComTest() {
    resetAllGlobals();
    sInstallPath = box.dir();
    box.write("nfyDesk\\nfyToast.dll", "placeholder");
    SetEnvironmentVariableA("NFY_TOAST_ANSWER_FILE", box.path("answer.txt").c_str());
    SetEnvironmentVariableA("NFY_TOAST_RECORD_FILE", box.path("record.txt").c_str());
    unregisterAll();  // whatever an earlier program left registered in the prefix
  }
  ~ComTest() override {
    unregisterAll();
    SetEnvironmentVariableA("NFY_TOAST_ANSWER_FILE", nullptr);
    SetEnvironmentVariableA("NFY_TOAST_RECORD_FILE", nullptr);
    SetEnvironmentVariableA("NFY_POSTER_TYPELIB_FAILURES", nullptr);
    // Let go of component files loaded from the sandbox so that it can go.
    CoFreeUnusedLibrariesEx(0, 0);
    resetAllGlobals();
  }

  // Unregistering works by class, whichever copy of the file was registered.
  static void unregisterAll() {
    com::regsvr32(com::builtComponent("nfyPoster.dll"), true);
    com::regsvr32(com::builtComponent("nfyToast.dll"), true);
  }

  void registerBuilt() {
    ASSERT_EQ(com::regsvr32(com::builtComponent("nfyPoster.dll")), 0u);
    ASSERT_EQ(com::regsvr32(com::builtComponent("nfyToast.dll")), 0u);
    ASSERT_TRUE(com::isRegistered(kPoster) && com::isRegistered(kToast));
  }

  Sandbox box;
  CapturedLog log{box};
};

TEST_F(ComTest, LateBindingPassesValuesWithTheirTypes) {
  registerBuilt();
  auto toast = component::create(kToast);
  toast->put("Icon", int32_t{6});
  toast->put("transparencylevel", int16_t{100});  // names match without regard to case
  toast->put("ModalForm", true);
  toast->put("Header", "tab\there");
  toast->put("Body", "");
  Value icon = toast->get("Icon"), level = toast->get("TransparencyLevel"), modal = toast->get("ModalForm");
  EXPECT_EQ(std::get<int32_t>(icon.v), 6);
  EXPECT_EQ(std::get<int16_t>(level.v), 100);
  EXPECT_EQ(std::get<bool>(modal.v), true);
  EXPECT_EQ(std::get<std::string>(toast->get("Header").v), "tab\there");
  EXPECT_EQ(std::get<std::string>(toast->get("Body").v), "");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(toast->get("PopupWidth").v)) << "never set";
  if (GetACP() == 1252) {
    toast->put("Header", "caf\xE9 \x80");  // ANSI text survives the trip through UTF-16
    EXPECT_EQ(toast->get("Header").toString(), "caf\xE9 \x80");
  }
  std::vector<Arg> none;
  box.write("answer.txt", "OKCLICK\r\n");
  EXPECT_EQ(toast->call("Popup", none).toString(), "OKCLICK");
  EXPECT_EQ(toast->get("ClosedBy").toString(), "OKCLICK");
}

TEST_F(ComTest, FailuresBecomeRunTimeErrors) {
  registerBuilt();
  EXPECT_EQ(errorOf([] { component::create("nfyNothing.Here"); }).number(), 429);
  auto toast = component::create(kToast);
  std::vector<Arg> none, one{Arg::byVal(int32_t{1})};
  auto unknown = errorOf([&] { toast->put("Colour", int32_t{1}); });
  EXPECT_EQ(unknown.number(), 438);
  EXPECT_EQ(unknown.description(), "Object doesn't support this property or method");
  EXPECT_EQ(errorOf([&] { toast->get("Colour"); }).number(), 438);
  EXPECT_EQ(errorOf([&] { toast->call("Show", none); }).number(), 438);
  // A status of the call itself: the signed number and the system's text.
  auto badCount = errorOf([&] { toast->call("Popup", one); });
  EXPECT_EQ(badCount.number(), static_cast<long>(static_cast<int32_t>(DISP_E_BADPARAMCOUNT)));
  EXPECT_FALSE(badCount.description().empty());
  // The component's own error with a code of its own...
  SetEnvironmentVariableA("NFY_TOAST_RECORD_FILE", box.path("no such folder\\record.txt").c_str());
  auto own = errorOf([&] { toast->call("Popup", none); });
  EXPECT_EQ(own.number(), 75);
  EXPECT_EQ(own.description().rfind("Cannot write the record file", 0), 0u) << own.description();
  // ...and with a status code only.
  auto poster = component::create(kPoster);
  std::string data = "<x/>", url = "not a url", reply, e1, e2, e3;
  std::vector<Arg> args{Arg::byRef(data),  Arg::byVal(false), Arg::byRef(url), Arg::byVal(""), Arg::byVal(""),
                        Arg::byRef(reply), Arg::byRef(e1),    Arg::byRef(e2),  Arg::byRef(e3)};
  auto badUrl = errorOf([&] { poster->call("PostXMLString", args); });
  EXPECT_EQ(badUrl.number(), -2147024809L);  // E_INVALIDARG
  EXPECT_EQ(badUrl.description(), "The URL is not valid: not a url");
  // The reply must come back by reference: passed by value it is refused.
  args[5] = Arg::byVal("");
  EXPECT_EQ(errorOf([&] { poster->call("PostXMLString", args); }).number(), 13);
}

TEST_F(ComTest, ReferenceArgumentsComeBackAfterTheCall) {
  registerBuilt();
  auto poster = component::create(kPoster);
  // Nothing listens on port 1: the post fails and says why in 7 to 9.
  std::string data = "<x/>", url = "http://127.0.0.1:1/tfr_x.asp", reply = "old", e1, e2, e3;
  std::vector<Arg> args{Arg::byRef(data),  Arg::byVal(false), Arg::byRef(url), Arg::byVal(""), Arg::byVal(""),
                        Arg::byRef(reply), Arg::byRef(e1),    Arg::byRef(e2),  Arg::byRef(e3)};
  Value ok = poster->call("PostXMLString", args);
  ASSERT_TRUE(std::holds_alternative<bool>(ok.v));
  EXPECT_FALSE(ok.toBool());
  EXPECT_EQ(reply, "");
  EXPECT_EQ(e1, "WinHTTP");
  EXPECT_FALSE(e2.empty());
  EXPECT_FALSE(e3.empty());
  EXPECT_EQ(data, "<x/>");
  EXPECT_EQ(url, "http://127.0.0.1:1/tfr_x.asp");
}

TEST_F(ComTest, PopupBridgeHandsTheComponentEveryPropertyAndReadsEachAnswer) {
  registerBuilt();
  for (const char* closedBy : {"EXIT", "CLICK", "AUTOCLOSE", "OKCLICK", ""}) {
    box.write("answer.txt", closedBy);
    std::string answer = "previous";
    EXPECT_TRUE(fncCallPopup(6, "You have 2 new messages", "Line one\r\nLine two", 0, 1800, 6000, 100, 1, answer));
    EXPECT_EQ(answer, closedBy);
  }
  std::filesystem::remove(box.path("answer.txt"));
  std::string answer;
  EXPECT_TRUE(fncCallPopup(6, "h", "b", 10, 1800, 6000, 100, 1, answer));
  EXPECT_EQ(answer, "AUTOCLOSE") << "the component's own answer when it has none to give";

  const std::string shown =
      "Icon=6 (VT_I4)\tHeader=You have 2 new messages\tBody=Line one\\r\\nLine two\tDisplayTimeSeconds=0 (VT_I4)\t"
      "PopupHeight=1800 (VT_I4)\tPopupWidth=6000 (VT_I4)\tTransparencyLevel=100 (VT_I2)\tModalForm=1 (VT_I4)\n";
  const std::string last =
      "Icon=6 (VT_I4)\tHeader=h\tBody=b\tDisplayTimeSeconds=10 (VT_I4)\tPopupHeight=1800 (VT_I4)\t"
      "PopupWidth=6000 (VT_I4)\tTransparencyLevel=100 (VT_I2)\tModalForm=1 (VT_I4)\n";
  EXPECT_EQ(box.read("record.txt"), shown + shown + shown + shown + shown + last);
  EXPECT_EQ(log.lines(), Lines(6, "MSg : In fncCallPopup"));
}

TEST_F(ComTest, UnregisteredPopupIsRegisteredForTheNextAttempt) {
  ASSERT_FALSE(com::isRegistered(kToast));
  // The installation holds the real component file this time.
  std::filesystem::remove(box.path("nfyDesk\\nfyToast.dll"));
  ASSERT_TRUE(std::filesystem::copy_file(com::builtComponent("nfyToast.dll"), box.path("nfyDesk\\nfyToast.dll")));
  const std::string file = box.path("nfyDesk\\nfyToast.dll");
  std::string answer = "previous";
  EXPECT_FALSE(fncCallPopup(6, "h", "b", 10, 1800, 6000, 100, 1, answer));
  EXPECT_EQ(answer, "previous");
  EXPECT_EQ(log.lines(), (Lines{"MSg : In fncCallPopup", "MSG : In fncRegisterDLL, " + file, "Registered Dll : " + file,
                                "ERR : fncCallPopup, ActiveX component can't create object"}));
  ASSERT_TRUE(com::awaitRegistration(kToast)) << "regsvr32 was not started on " << file;
  EXPECT_TRUE(com::samePath(com::registeredServer(kToast), file));
  box.write("answer.txt", "CLICK");
  EXPECT_TRUE(fncCallPopup(6, "h", "b", 10, 1800, 6000, 100, 1, answer));
  EXPECT_EQ(answer, "CLICK");
}

TEST_F(ComTest, UnregisteredPosterIsRegisteredAndCreatedOnceMore) {
  ASSERT_FALSE(com::isRegistered(kPoster));
  ASSERT_TRUE(std::filesystem::copy_file(com::builtComponent("nfyPoster.dll"), box.path("nfyPoster.dll")));
  const std::string file = box.path("nfyPoster.dll");
  const std::string url = "http://127.0.0.1:1/tfr_wpdcmgetmsgstatus.asp?mmid=1";
  std::string reply;
  EXPECT_FALSE(WebPost("<x/>", url, reply));
  Lines lines = log.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Registered Dll : " + file);
  // The tool is not awaited: the retried creation may come before or after
  // the registration is done.
  if (lines.size() == 2) {
    EXPECT_EQ(lines[1], "ERR : Function WebPost :: 429:ActiveX component can't create object");
  } else {
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "MSG : Webposting data :: <x/>");
    EXPECT_EQ(lines[3].rfind("ERR : WebPost Failed : WinHTTP:", 0), 0u) << lines[3];
  }
  ASSERT_TRUE(com::awaitRegistration(kPoster)) << "regsvr32 was not started on " << file;
  EXPECT_TRUE(com::samePath(com::registeredServer(kPoster), file));
  const size_t before = log.lines().size();
  EXPECT_FALSE(WebPost("<x/>", url, reply));
  lines = log.lines();
  ASSERT_EQ(lines.size(), before + 3) << "no second registration once the component is there";
  EXPECT_EQ(lines[before], "MSG : Webposting data :: <x/>");
  EXPECT_EQ(lines[before + 1], "MSG : Webposting Source :: " + url);
  EXPECT_EQ(lines[before + 2].rfind("ERR : WebPost Failed : WinHTTP:", 0), 0u) << lines[before + 2];
}

TEST_F(ComTest, PosterWithoutItsTypeLibraryIsRegisteredAndCalledOnceMore) {
  registerBuilt();
  SetEnvironmentVariableA("NFY_POSTER_TYPELIB_FAILURES", box.path("typelib.txt").c_str());
  const std::string file = box.path("nfyPoster.dll");
  const std::string url = "http://127.0.0.1:1/tfr_wpdcmgetmsgstatus.asp?mmid=1";
  const Lines posting{"MSG : Webposting data :: <x/>", "MSG : Webposting Source :: " + url, "Registered Dll : " + file};
  std::string reply;

  // The member call fails once: registration, then the call once more.
  box.write("typelib.txt", "1");
  EXPECT_FALSE(WebPost("<x/>", url, reply));
  Lines lines = log.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3), posting);
  EXPECT_EQ(lines[3].rfind("ERR : WebPost Failed : WinHTTP:", 0), 0u) << lines[3];

  // It fails again after the registration: logged with its status, false.
  box.write("typelib.txt", "2");
  EXPECT_FALSE(WebPost("<x/>", url, reply));
  lines = log.lines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(Lines(lines.begin() + 4, lines.begin() + 7), posting);
  EXPECT_EQ(lines[7].rfind("ERR : Function WebPost :: -2147319779:", 0), 0u) << lines[7];
  EXPECT_EQ(box.read("typelib.txt"), "0");
}

TEST_F(ComTest, WebPostOverHttpThroughTheComponent) {
  const std::string replyXml =
      "<dcmgetmsgstatus><message><id>101</id><subject>Hi</subject></message></dcmgetmsgstatus>";
  com::ProviderSim sim(box.dir(), replyXml);
  if (!sim.available()) GTEST_SKIP() << "provider-sim has not been built in the Linux build tree";
  registerBuilt();
  const std::string request = "<wpdcmgetmsgstatus><mmid>7</mmid></wpdcmgetmsgstatus>";
  const std::string url = sim.baseUrl() + "tfr_wpdcmgetmsgstatus.asp?mmid=7&sid=2&rid=3&rty=1";
  std::string reply;
  ASSERT_TRUE(WebPost(request, url, reply));
  EXPECT_EQ(reply, replyXml);
  EXPECT_EQ(log.lines().back(), "MSG : Webpost Received data :: " + replyXml);
  EXPECT_NE(sim.recorded().find("POST\t/tfr_wpdcmgetmsgstatus.asp\tmmid=7&sid=2&rid=3&rty=1\t" + request),
            std::string::npos)
      << sim.recorded();
  // An address the service does not know: the component answers false.
  const std::string unknown = sim.baseUrl() + "tfr_nothing.asp";
  EXPECT_FALSE(WebPost(request, unknown, reply));
  EXPECT_EQ(log.lines().back(), "ERR : WebPost Failed : HTTP 404:" + unknown + ":");
}

}  // namespace
}  // namespace nfy::test
