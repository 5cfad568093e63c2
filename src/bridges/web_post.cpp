#include "bridges/web_post.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "app/paths.h"
#include "base/errors.h"
#include "base/text.h"
#include "platform/component.h"
#include "platform/process.h"

namespace nfy {
namespace {

namespace component = platform::component;

// TYPE_E_LIBNOTREGISTERED (0x8002801D): the component's type library is not
// registered.
constexpr long kTypeLibNotRegistered = -2147319779L;

bool needsRegistration(long number) { return number == err::kCannotCreateObject || number == kTypeLibNotRegistered; }

// Runs one statement of WebPost. When it fails because the component is not
// registered, and no registration has been started in this call yet, the
// component file is registered and the same statement runs once more; its
// second failure goes to the caller's error trap.
template <typename Statement>
auto withOneRegistration(bool& registered, Statement&& statement) {
  try {
    return statement();
  } catch (const RuntimeError& e) {
    if (registered || !needsRegistration(e.number())) throw;
    RegisterDLL();
    registered = true;
    return statement();
  }
}

}  // namespace

bool WebPost(const std::string& data, const std::string& source, std::string& reply) {
  WebPostDetails ignored;
  return WebPost(data, source, reply, ignored);
}

bool WebPost(const std::string& data, const std::string& source, std::string& reply, WebPostDetails& details) {
  details = {};
  // The component may change the texts handed to it by reference; the
  // caller's own are left alone. Copied before the reply is cleared, which
  // may be the same string as the request.
  std::string sData = data;
  std::string sSource = source;
  reply.clear();
  bool result = false;
  bool registered = false;  // RegisterDLL has run in this call
  std::unique_ptr<component::Object> poster;
  std::string sErr1, sErr2, sErr3;
  try {
    poster = withOneRegistration(registered, [] { return component::create("nfyPoster.WebPost"); });
    subWriteLog("MSG : Webposting data :: " + logExcerpt(sData));
    subWriteLog("MSG : Webposting Source :: " + sSource);
    flushLog();  // the post may take up to a minute
    std::vector<component::Arg> args{
        component::Arg::byRef(sData), component::Arg::byVal(false), component::Arg::byRef(sSource),
        component::Arg::byVal(""),    component::Arg::byVal(""),    component::Arg::byRef(reply),
        component::Arg::byRef(sErr1), component::Arg::byRef(sErr2), component::Arg::byRef(sErr3),
    };
    bool posted = withOneRegistration(registered, [&] { return poster->call("PostXMLString", args); }).toBool();
    if (posted) {
      subWriteLog("MSG : Webpost Received data :: " + logExcerpt(reply));
      result = true;
    } else {
      subWriteLog("ERR : WebPost Failed : " + sErr1 + ":" + sErr2 + ":" + sErr3);
      details = {sErr1, sErr2, sErr3};
    }
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : Function WebPost :: " + std::to_string(t.number) + ":" + t.description);
    return false;
  }
  return result;
}

int refusalStatus(const WebPostDetails& details) {
  for (const std::string* detail : {&details.first, &details.second, &details.third}) {
    std::string rest = trim(*detail);
    for (std::string_view word : {"HTTP", "status"}) {
      if (rest.size() >= word.size() && iequals(std::string_view(rest).substr(0, word.size()), word)) {
        rest = trim(std::string_view(rest).substr(word.size()));
      }
    }
    if (rest.size() != 3 || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    int status = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
    if (status >= 400 && status <= 599) return status;
  }
  return 0;
}

void RegisterDLL() {
  try {
    // The poster lies directly in the installation folder.
    std::string path = sInstallPath + paths::posterComponent();
    // Unquoted on purpose: the tool gets the command line exactly as built.
    // Where there is no COM registration the component is part of the
    // program and nothing needs starting; the log line stays.
    if (platform::hasComRegistration()) {
      platform::startProcess("regsvr32 -s " + path, platform::WindowStyle::Hidden);
    }
    subWriteLog("Registered Dll : " + path);
  } catch (const std::exception& e) {
    auto t = trap(e);
    subWriteLog("ERR : Function RegisterDLL :: " + std::to_string(t.number) + ":" + t.description);
  }
}

}  // namespace nfy
