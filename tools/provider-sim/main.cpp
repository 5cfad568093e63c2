// provider-sim: a loopback web service that plays the provider for tests and
// the demo. It answers the notifier's three requests, records every request
// it receives, and can be told to fail in the ways a real service fails.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "../common/options.h"
#include "../common/record_line.h"
#include "messages.h"

namespace {

enum class Fail { none, status500, close, slow, garbage, huge, blank };

struct Options {
  int port = 0;
  std::string messages;
  std::string record;
  Fail fail = Fail::none;
  long long delayMs = 30000;
  long long hugeBytes = 67108864;
};

const sim::Usage kUsage{"provider-sim",
                        "usage: provider-sim [--port N] [--messages FILE] [--record FILE]\n"
                        "                    [--fail status500|close|slow|garbage|huge|blank]\n"
                        "                    [--delay-ms N] [--huge-bytes N]\n"};

Options parseOptions(int argc, char** argv) {
  Options o;
  sim::forEachOption(argc, argv, kUsage, [&](const std::string& a, const std::string& v) -> std::string {
    long long n = 0;
    if (a == "--port") {
      return sim::parseNumber(v, 0, 65535, n) ? (o.port = static_cast<int>(n), "") : "bad port: " + v;
    }
    if (a == "--messages") return o.messages = v, "";
    if (a == "--record") return o.record = v, "";
    if (a == "--delay-ms") return sim::parseNumber(v, 0, 86400000, n) ? (o.delayMs = n, "") : "bad delay: " + v;
    if (a == "--huge-bytes") return sim::parseNumber(v, 0, 1LL << 40, n) ? (o.hugeBytes = n, "") : "bad size: " + v;
    if (a == "--fail") {
      return sim::choose(v,
                         {std::pair{"status500", Fail::status500}, std::pair{"close", Fail::close},
                          std::pair{"slow", Fail::slow}, std::pair{"garbage", Fail::garbage},
                          std::pair{"huge", Fail::huge}, std::pair{"blank", Fail::blank}},
                         o.fail)
                 ? ""
                 : "unknown failure mode: " + v;
    }
    return "unknown option: " + a;
  });
  return o;
}

// Set when a stop signal arrives; wakes the handlers that are waiting out a
// slow answer so that shutdown does not hang on them.
std::mutex gStopMutex;
std::condition_variable gStopCv;
bool gStopping = false;

void waitOrStop(long long ms) {
  std::unique_lock<std::mutex> lock(gStopMutex);
  gStopCv.wait_for(lock, std::chrono::milliseconds(ms), [] { return gStopping; });
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  return std::equal(tail.rbegin(), tail.rend(), s.rbegin(),
                    [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); });
}

std::string readMessages(const std::string& path) {
  if (path.empty()) return "";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";  // not there (yet): served like an empty file
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string warnings;
  std::string reply = sim::buildReply(ss.str(), &warnings);
  if (!warnings.empty()) std::cerr << "provider-sim: " << path << ":\n" << warnings;
  return reply;
}

// The library gives handlers no access to the connection, so the socket is
// found by its two addresses and shut down; the library's attempt to answer
// then fails and the client sees the connection closed without a reply.
void dropConnection(const httplib::Request& req) {
  for (int fd = 3; fd < 4096; ++fd) {
    sockaddr_storage local{}, peer{};
    socklen_t ll = sizeof local, pl = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll) != 0) continue;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pl) != 0) continue;
    if (local.ss_family != AF_INET || peer.ss_family != AF_INET) continue;
    auto* l = reinterpret_cast<sockaddr_in*>(&local);
    auto* p = reinterpret_cast<sockaddr_in*>(&peer);
    if (ntohs(l->sin_port) == req.local_port && ntohs(p->sin_port) == req.remote_port) {
      shutdown(fd, SHUT_RDWR);
      return;
    }
  }
  std::cerr << "provider-sim: connection to close not found\n";
}

void answer(const Options& o, const httplib::Request& req, httplib::Response& res) {
  std::string path = req.target, query;
  if (size_t q = path.find('?'); q != std::string::npos) {
    query = path.substr(q + 1);
    path.resize(q);
  }
  sim::appendRecord(o.record, sim::recordLine({req.method, path, query, req.body}));

  switch (o.fail) {
    case Fail::status500:
      res.status = 500;
      res.set_content("simulated server error", "text/plain");
      return;
    case Fail::close:
      dropConnection(req);
      res.status = 500;
      return;
    case Fail::garbage: res.set_content("this is not xml <<<", "text/xml"); return;
    case Fail::blank: res.set_content("", "text/xml"); return;
    case Fail::huge: {
      res.set_content_provider(static_cast<size_t>(o.hugeBytes), "text/xml",
                               [](size_t, size_t length, httplib::DataSink& sink) {
                                 static const std::string filler(65536, 'x');
                                 return sink.write(filler.data(), std::min(length, filler.size()));
                               });
      return;
    }
    case Fail::slow: waitOrStop(o.delayMs); break;
    case Fail::none: break;
  }

  if (endsWithNoCase(path, "tfr_wpdcmgetmsgstatus.asp")) {
    res.set_content(readMessages(o.messages), "text/xml");
  } else if (endsWithNoCase(path, "tfr_wpdcmsendmsgdskupd.asp") ||
             endsWithNoCase(path, "tfr_wpdcmupdateusrstatus.asp")) {
    res.set_content("<result>OK</result>", "text/xml");
  } else {
    res.status = 404;
    res.set_content("not found", "text/plain");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parseOptions(argc, argv);

  // Stop signals are taken by a thread of their own (sigwait), so they are
  // blocked in every thread, including the server's workers started below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the server

  httplib::Server svr;
  svr.new_task_queue = [] { return new httplib::ThreadPool(16); };
  svr.set_payload_max_length(64u << 20);
  // SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which
  // would let a second simulator share a port and steal half the requests.
  svr.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  auto handler = [&o](const httplib::Request& req, httplib::Response& res) { answer(o, req, res); };
  svr.Get(".*", handler);
  svr.Post(".*", handler);
  svr.Put(".*", handler);
  svr.Delete(".*", handler);
  svr.Patch(".*", handler);
  svr.Options(".*", handler);

  int port = o.port;
  if (port == 0) {
    port = svr.bind_to_any_port("127.0.0.1");
    if (port < 0) {
      std::cerr << "provider-sim: cannot bind a port on 127.0.0.1\n";
      return 1;
    }
  } else if (!svr.bind_to_port("127.0.0.1", port)) {
    std::cerr << "provider-sim: cannot bind 127.0.0.1:" << port << " (" << std::strerror(errno) << ")\n";
    return 1;
  }

  // stop() only works once the server is listening; a signal that arrives
  // just before that is repeated until the listening loop has returned.
  std::atomic<bool> listenReturned{false};
  std::thread stopper([&svr, &stopSignals, &listenReturned] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    {
      std::lock_guard<std::mutex> lock(gStopMutex);
      gStopping = true;
    }
    gStopCv.notify_all();
    while (!listenReturned) {
      svr.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });

  std::cout << "provider-sim listening on 127.0.0.1:" << port << std::endl;
  bool ok = svr.listen_after_bind();
  listenReturned = true;
  bool stopping;
  {
    std::lock_guard<std::mutex> lock(gStopMutex);
    stopping = gStopping;
  }
  if (!stopping) {
    // The server ended on its own: wake the stop thread so it can be joined.
    kill(getpid(), SIGTERM);
  }
  stopper.join();
  return ok || stopping ? 0 : 1;
}
