// The Linux web poster against provider-sim and a raw loopback listener.
#include "platform/posix/web_poster.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "child_process.h"
#include "platform/component.h"
#include "support/sandbox.h"

namespace nfy::platform::component {
namespace {

using test::ChildProcess;
using test::ScopedEnv;

// provider-sim on a free port, with the options given.
class ProviderSim {
 public:
  explicit ProviderSim(std::vector<std::string> options = {}) {
    options.insert(options.begin(), test::toolPath("provider-sim"));
    child_ = std::make_unique<ChildProcess>(options);
    std::string line;
    if (!child_->readLine(line, 5000)) throw std::runtime_error("provider-sim did not start");
    port_ = line.substr(line.rfind(':') + 1);
  }
  std::string url(const std::string& pathAndQuery) const { return "http://127.0.0.1:" + port_ + pathAndQuery; }
  const std::string& port() const { return port_; }

 private:
  std::unique_ptr<ChildProcess> child_;
  std::string port_;
};

struct Outcome {
  bool ok;
  std::string reply, error, status, where;
  std::string data, url;  // arguments 1 and 3 after the call
};

Outcome post(const std::string& data, const std::string& url) {
  auto poster = createNative("nfyPoster.WebPost");
  Outcome o{false, "unset", "unset", "unset", "unset", data, url};
  std::string empty;
  std::vector<Arg> args = {Arg::byRef(o.data),  Arg::byVal(false),    Arg::byRef(o.url),
                           Arg::byVal(""),      Arg::byVal(""),       Arg::byRef(o.reply),
                           Arg::byRef(o.error), Arg::byRef(o.status), Arg::byRef(o.where)};
  o.ok = poster->call("PostXMLString", args).toBool();
  return o;
}

TEST(WebPoster, PostsTheRequestAndReturnsTheReply) {
  test::Sandbox box;
  box.write("messages.txt",
            "# two messages\n"
            "id=101\nsubject=Fish & <chips>\ncontent=line one\\nline two\n"
            "\n\n"
            "id=102\nrequsrconfirm=1\n");
  ProviderSim sim({"--messages", box.path("messages.txt"), "--record", box.path("record.txt")});

  std::string body = "<wpdcmgetmsgstatus><user>a\tb\\c</user>\n</wpdcmgetmsgstatus>";
  std::string url = sim.url("/svc/tfr_wpdcmgetmsgstatus.asp?mmid=7&sid=8&rid=9&rty=x");
  Outcome o = post(body, url);

  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.reply,
            "<dcmgetmsgstatus><message><id>101</id><subject>Fish &amp; &lt;chips&gt;</subject>"
            "<content>line one&#13;\nline two</content></message>"
            "<message><id>102</id><requsrconfirm>1</requsrconfirm></message></dcmgetmsgstatus>");
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.status, "");
  EXPECT_EQ(o.where, "");
  EXPECT_EQ(o.data, body);  // passed by reference, left as it was
  EXPECT_EQ(o.url, url);
  EXPECT_EQ(box.read("record.txt"),
            "POST\t/svc/tfr_wpdcmgetmsgstatus.asp\tmmid=7&sid=8&rid=9&rty=x\t"
            "<wpdcmgetmsgstatus><user>a\\tb\\\\c</user>\\n</wpdcmgetmsgstatus>\n");

  // The two reports get the fixed acknowledgement; a verbatim reply file is served as it is.
  EXPECT_EQ(post("<r/>", sim.url("/tfr_wpdcmsendmsgdskupd.asp")).reply, "<result>OK</result>");
  box.write("messages.txt", "  <dcmgetmsgstatus/>");
  EXPECT_EQ(post("<r/>", url).reply, "  <dcmgetmsgstatus/>");
}

TEST(WebPoster, OddButSuccessfulRepliesAreHandedOver) {
  {
    ProviderSim sim({"--fail", "garbage"});
    Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.reply, "this is not xml <<<");
  }
  {
    ProviderSim sim({"--fail", "blank"});
    Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.reply, "");
  }
}

TEST(WebPoster, ServerFailuresReturnFalseWithDetails) {
  {
    ProviderSim sim({"--fail", "status500"});
    std::string url = sim.url("/tfr_wpdcmgetmsgstatus.asp?mmid=1");
    Outcome o = post("<r/>", url);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reply, "");
    EXPECT_EQ(o.error, "HTTP status 500");
    EXPECT_EQ(o.status, "500");
    EXPECT_EQ(o.where, url);
  }
  {
    ProviderSim sim;
    Outcome o = post("<r/>", sim.url("/unknown.asp"));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error, "HTTP status 404");
  }
  {
    ProviderSim sim({"--fail", "close"});
    Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.error, "");
    EXPECT_EQ(o.status, "0");
  }
}

TEST(WebPoster, TransportFailuresReturnFalseWithoutRaising) {
  // A port that nobody listens on: the one of a simulator that has ended.
  std::string refused;
  {
    ProviderSim sim;
    refused = sim.url("/tfr_wpdcmgetmsgstatus.asp");
  }
  Outcome o = post("<r/>", refused);
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.error, "");
  EXPECT_EQ(o.status, "0");
  EXPECT_EQ(o.where, refused);

  for (const char* blank : {"", "   "}) {
    o = post("<r/>", blank);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error, "no URL to post to");
  }

  ProviderSim sim;
  o = post("<r/>", "https://127.0.0.1:" + sim.port() + "/tfr_wpdcmgetmsgstatus.asp");
  EXPECT_FALSE(o.ok) << "TLS against a plain HTTP port";
  EXPECT_NE(o.error, "");

  for (const char* other : {"ftp://127.0.0.1/x", "file:///etc/passwd", "not a url"}) {
    o = post("<r/>", other);
    EXPECT_FALSE(o.ok) << other;
    EXPECT_NE(o.error, "") << other;
    EXPECT_EQ(o.reply, "") << other;
  }
}

TEST(WebPoster, SlowServerRunsIntoTheTimeout) {
  ScopedEnv timeout("NFY_WEBPOST_TIMEOUT_MS", "300");
  ProviderSim sim({"--fail", "slow", "--delay-ms", "20000"});
  Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.error.find("timed out"), std::string::npos) << o.error;
}

TEST(WebPoster, RepliesOverTheCapAreRefused) {
  {
    ProviderSim sim({"--fail", "huge", "--huge-bytes", std::to_string(9 << 20)});
    Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.error, "reply larger than 8388608 bytes");
    EXPECT_EQ(o.reply, "");
  }
  ScopedEnv cap("NFY_WEBPOST_MAX_REPLY_BYTES", "1000");
  {
    ProviderSim sim({"--fail", "huge", "--huge-bytes", "1000"});
    Outcome o = post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp"));
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.reply.size(), 1000u);
  }
  {
    ProviderSim sim({"--fail", "huge", "--huge-bytes", "1001"});
    EXPECT_FALSE(post("<r/>", sim.url("/tfr_wpdcmgetmsgstatus.asp")).ok);
  }
}

TEST(WebPoster, EnvironmentCanOnlyLowerTheLimits) {
  PostLimits defaults;
  {
    ScopedEnv a("NFY_WEBPOST_TIMEOUT_MS", "999999999");
    ScopedEnv b("NFY_WEBPOST_CONNECT_TIMEOUT_MS", "-5");
    ScopedEnv c("NFY_WEBPOST_MAX_REPLY_BYTES", "12abc");
    PostLimits l = effectivePostLimits();
    EXPECT_EQ(l.timeoutMs, defaults.timeoutMs);
    EXPECT_EQ(l.connectTimeoutMs, defaults.connectTimeoutMs);
    EXPECT_EQ(l.maxReplyBytes, defaults.maxReplyBytes);
  }
  ScopedEnv a("NFY_WEBPOST_TIMEOUT_MS", "250");
  EXPECT_EQ(effectivePostLimits().timeoutMs, 250);
}

// Accepts one connection, keeps the raw request and answers 200 "<ok/>".
class RawListener {
 public:
  RawListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd_, 1) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serveOne(); });
  }
  ~RawListener() {
    shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }
  int port() const { return port_; }
  std::string request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }

 private:
  void serveOne() {
    int c = accept(fd_, nullptr, nullptr);
    if (c < 0) return;
    char buf[4096];
    for (;;) {
      size_t headerEnd = request_.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        size_t at = request_.find("Content-Length: ");
        size_t length = at == std::string::npos ? 0 : std::stoul(request_.substr(at + 16));
        if (request_.size() >= headerEnd + 4 + length) break;
      }
      ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request_.append(buf, static_cast<size_t>(n));
    }
    const char answer[] =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 5\r\nConnection: close\r\n\r\n<ok/>";
    send(c, answer, sizeof answer - 1, MSG_NOSIGNAL);
    close(c);
  }
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string request_;
};

TEST(WebPoster, SendsXmlContentTypeAndEscapesUnsafeUrlBytes) {
  RawListener server;
  std::string body(5000, 'x');  // large enough that curl would otherwise wait for 100-continue
  Outcome o = post(body, "http://127.0.0.1:" + std::to_string(server.port()) + "/a b/tfr_x.asp?rty=Agent \xE9");
  std::string req = server.request();
  EXPECT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.reply, "<ok/>");
  EXPECT_EQ(req.rfind("POST /a%20b/tfr_x.asp?rty=Agent%20%E9 HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("\r\nContent-Type: text/xml\r\n"), std::string::npos) << req;
  EXPECT_EQ(req.find("Expect:"), std::string::npos) << req;
  EXPECT_EQ(req.substr(req.size() - body.size()), body);
}

TEST(WebPoster, OnlyPostXmlStringWithNineArguments) {
  auto poster = createNative("nfyposter.webpost");  // ProgIDs are not case-sensitive
  std::vector<Arg> none;
  try {
    poster->call("Post", none);
    FAIL() << "unknown member accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kNoSuchMember);
  }
  try {
    poster->call("postxmlstring", none);
    FAIL() << "missing arguments accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 450);
  }
  EXPECT_THROW(poster->get("Timeout"), RuntimeError);
  try {
    createNative("nfyPoster.Other");
    FAIL() << "unknown ProgID created";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kCannotCreateObject);
  }
}

}  // namespace
}  // namespace nfy::platform::component
