// Shared test fixtures for network code: a throwaway CA with a server certificate,
// a loopback HTTP/HTTPS server (cpp-httplib) with routes the test registers, a raw
// loopback HTTP server that answers with exact bytes and records exact requests, and
// a scoped test transport that sends real host names to those servers.
//
// Typical use:
//   velmora::test::TestCertificates certs({"sns.qzone.qq.com"});
//   velmora::test::LoopbackServer server(certs);           // HTTPS; LoopbackServer() is HTTP
//   server.routes().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
//     res.set_content("hi", "text/plain");
//   });
//   ASSERT_TRUE(server.Start());
//   velmora::test::ScopedTransport route(certs.caFile(), {{"sns.qzone.qq.com", 443,
//   server.port()}});
//   ... FetchText("https://sns.qzone.qq.com/hello") reaches the loopback server ...
//
// Everything listens on 127.0.0.1 with an ephemeral port and stops in its destructor.
// Servers close idle keep-alive connections after a second and give up on a silent
// client after a few seconds, so a test never waits long. A route that must stall
// calls Pause(), which returns early once the server is being stopped. Never
// register a route that blocks without a bound.
#ifndef VELMORA_TESTS_SUPPORT_LOOPBACK_SERVER_H_
#define VELMORA_TESTS_SUPPORT_LOOPBACK_SERVER_H_

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/transport.h"

namespace velmora::test {

// A CA and one server certificate (key: P-256) for the given names, valid from an
// hour ago for a day, written as PEM into a fresh temporary folder that the
// destructor removes. Names that parse as IPv4 addresses go in as IP entries, the
// rest as DNS entries. ok() is false when OpenSSL failed.
class TestCertificates {
 public:
  explicit TestCertificates(const std::vector<std::string>& hostNames);
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] const std::string& caFile() const { return caFile_; }
  [[nodiscard]] const std::string& certFile() const { return certFile_; }
  [[nodiscard]] const std::string& keyFile() const { return keyFile_; }

 private:
  std::string folder_;
  std::string caFile_;
  std::string certFile_;
  std::string keyFile_;
  bool ok_ = false;
};

// A cpp-httplib server on 127.0.0.1. Register routes on routes() before Start().
class LoopbackServer {
 public:
  LoopbackServer();                                        // plain HTTP
  explicit LoopbackServer(const TestCertificates& certs);  // HTTPS
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  [[nodiscard]] httplib::Server& routes() { return *server_; }
  // Binds an ephemeral port and serves on a thread of its own; false when the port
  // could not be bound or the server did not come up within a few seconds.
  [[nodiscard]] bool Start();
  [[nodiscard]] int port() const { return port_; }
  // Waits `duration`; returns false early when the server is being stopped.
  bool Pause(std::chrono::milliseconds duration);
  // Stops serving and joins the thread; also done by the destructor.
  void Stop();

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex lock_;
  std::condition_variable stopping_;
  bool stopRequested_ = false;
};

// What the raw server writes back for one request, then it closes the connection.
struct RawReply {
  std::string bytes;
  // Keeps the connection open this long after writing, sending nothing (a stall).
  std::chrono::milliseconds holdOpen{0};
  // When set, the hold is no stall: one more byte '.' goes out this often, until the
  // hold ends or the client has gone (a server that drips its answer).
  std::chrono::milliseconds dripEvery{0};
};

// A plain HTTP server on 127.0.0.1 that serves one connection at a time: it reads a
// request (head and any Content-Length body, bounded in size and time), records
// its exact bytes, and writes the reply the test's function gives for it.
class RawServer {
 public:
  using Responder = std::function<RawReply(const std::string& request)>;
  explicit RawServer(Responder responder);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  // False when no port could be bound.
  [[nodiscard]] bool Start();
  [[nodiscard]] int port() const { return port_; }
  // Every request received so far, as raw bytes.
  [[nodiscard]] std::vector<std::string> requests();
  void Stop();

 private:
  void Serve();
  void Handle(int connection);

  Responder responder_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::string> requests_;
};

// One real host and port sent to a loopback port.
struct Route {
  std::string host;
  int port;
  int localPort;
};

// Sets the test transport (trusted CA file, may be empty; loopback routes) for its
// lifetime and clears it afterwards. Optional overrides shorten HttpGetWhole's limits.
class ScopedTransport {
 public:
  ScopedTransport(const std::string& caFile, const std::vector<Route>& routes,
                  platform::TransportSetting extra = {});
  ~ScopedTransport();
  ScopedTransport(const ScopedTransport&) = delete;
  ScopedTransport& operator=(const ScopedTransport&) = delete;
};

// A loopback port with nothing listening on it (bound, then closed), for
// "connection refused" cases.
[[nodiscard]] int UnusedPort();

}  // namespace velmora::test

#endif  // VELMORA_TESTS_SUPPORT_LOOPBACK_SERVER_H_
