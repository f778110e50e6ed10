#include "web/fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <mutex>
#include <string>
#include <thread>

#include "platform/cookie_jar.h"
#include "support/loopback_server.h"
#include "web/cookie_store.h"

namespace velmora {
namespace {

using std::chrono::milliseconds;
using test::RawReply;
using test::RawServer;

TEST(RequestTimeoutTest, SecondsBecomeMillisecondsPerPhase) {
  struct Case {
    int seconds;
    std::optional<int> ms;
  } cases[] = {{-1, std::nullopt},    {0, 15000},         {-5, 15000},       {1, 1000}, {30, 30000},
               {2147483, 2147483000}, {2147484, INT_MAX}, {INT_MAX, INT_MAX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(RequestTimeoutMs(c.seconds), c.ms);
  }
}

const Text kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

RawReply Reply(const std::string& reply) { return RawReply{reply, milliseconds(0)}; }

// Plain-HTTP exchanges whose exact request bytes the test reads; the real host
// www.example.com is routed to the raw server.
class FetchRawTest : public testing::Test {
 protected:
  void SetUp() override { platform::ClearStoreCookies(); }
  void TearDown() override { platform::ClearStoreCookies(); }

  // Starts a raw server answering `reply` and routes www.example.com:80 to it.
  void Serve(std::string reply, platform::TransportSetting extra = {}) {
    // The old route is cleared before the new one is set, not after.
    transport_.reset();
    server_.reset();
    server_ = std::make_unique<RawServer>([reply](const std::string&) { return Reply(reply); });
    ASSERT_TRUE(server_->Start());
    transport_ = std::make_unique<test::ScopedTransport>(
        "", std::vector<test::Route>{{"www.example.com", 80, server_->port()}}, std::move(extra));
  }
  std::string OnlyRequest() {
    auto requests = server_->requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? std::string() : requests.front();
  }

  std::unique_ptr<RawServer> server_;
  std::unique_ptr<test::ScopedTransport> transport_;
};

bool Has(const std::string& request, const std::string& line) {
  return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST_F(FetchRawTest, DefaultHeaderBlockMethodAndBodyAreWrittenBack) {
  Serve(kOk);
  const Text url = "http://www.example.com/form?x=1";
  Text method = "post";
  Text cookies;
  Text headers;
  Bytes body = FetchBytes(url, method, "a=1&b=2", cookies, {}, headers);
  EXPECT_EQ(BytesToText(body), "ok");
  EXPECT_EQ(method, "POST");
  EXPECT_EQ(cookies, "");
  EXPECT_EQ(headers,
            "Referer: http://www.example.com/form?x=1\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
            "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)\r\n"
            "Content-Type: application/x-www-form-urlencoded");
  std::string request = OnlyRequest();
  EXPECT_EQ(request.rfind("POST /form?x=1 HTTP/1.1\r\n", 0), 0u);
  for (const char* line :
       {"Referer: http://www.example.com/form?x=1", "Accept: */*", "Accept-Language: zh-cn",
        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)",
        "Content-Type: application/x-www-form-urlencoded"}) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(Has(request, line));
  }
  EXPECT_EQ(request.find("Cookie"), std::string::npos);  // empty store, no cookies
  EXPECT_EQ(request.substr(request.size() - 11), "\r\n\r\na=1&b=2");
}

TEST_F(FetchRawTest, EmptyMethodBecomesGet) {
  Serve(kOk);
  Text method;
  EXPECT_EQ(FetchText("http://www.example.com/", method), "ok");
  EXPECT_EQ(method, "GET");
  EXPECT_EQ(OnlyRequest().rfind("GET / HTTP/1.1\r\n", 0), 0u);
}

TEST_F(FetchRawTest, HeaderBlockLinesBecomeHeaders) {
  struct Case {
    const char* what;
    Text block;
    std::vector<std::string> sent;
    std::vector<std::string> notSent;
  } cases[] = {
      {"single line, value keeps its blank", "X-A: 1", {"X-A: 1"}, {}},
      {"lines without colon skipped, further colons kept",
       "a:b\r\nc\r\nd:e:f",
       {"a: b", "d: e:f"},
       {"\r\nc\r\n"}},
      {"final CR LF adds nothing", "X-B:1\r\n", {"X-B: 1"}, {}},
      {"empty value", "k:", {"k:"}, {}},
      {"blank value", "k: ", {"k:"}, {}},
      {"lone line breaks inside a value never reach the wire",
       "X-C: 1\nInjected: yes\rX: 2",
       {},
       {"Injected", "X-C"}},
      {"control byte in a value",
       "X-D: a\x01"
       "b",
       {},
       {"X-D"}},
      {"an unsafe line is left out alone, the lines around it go",
       "X-Ok: 1\r\nX-Bad: a\x7f"
       "b\r\nBad Name: 3\r\nX-Also: 2",
       {"X-Ok: 1", "X-Also: 2"},
       {"X-Bad", "Bad Name"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Serve(kOk);
    Text headers = c.block;
    FetchBytes("http://www.example.com/", {}, {}, {}, {}, headers);
    EXPECT_EQ(headers, c.block);
    std::string request = OnlyRequest();
    for (const std::string& line : c.sent) EXPECT_TRUE(Has(request, line)) << line;
    for (const std::string& part : c.notSent)
      EXPECT_EQ(request.find(part), std::string::npos) << part;
    // A caller's block replaces the default one: the object's own User-Agent goes.
    EXPECT_TRUE(
        Has(request, "User-Agent: Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)"));
    EXPECT_EQ(request.find("Referer"), std::string::npos);
  }
}

TEST_F(FetchRawTest, UnsafeAddressNeverReachesTheWireButCookiesAreStored) {
  Serve(kOk);
  Text cookies = "a=1";
  Text location;
  Text responseHeaders = "stale";
  Bytes body = FetchBytes("http://www.example.com/x\r\nHost: evil", {}, {}, cookies, {}, {},
                          location, 0, 0, responseHeaders);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(responseHeaders, "");
  EXPECT_EQ(location, "");
  EXPECT_EQ(cookies, "a=1;");
  EXPECT_EQ(ReadStoreCookies("example.com", "a"), "1");
  EXPECT_TRUE(server_->requests().empty());
}

TEST_F(FetchRawTest, CookieHeaderInjectionIsRefused) {
  Serve(kOk);
  Text cookies = "a=1\r\nX-Evil: 1";
  // The unsafe Cookie header alone is left out; the exchange and its other headers go.
  EXPECT_EQ(
      BytesToText(FetchBytes("http://www.example.com/", {}, {}, cookies, {}, Text("X-Ok: 1"))),
      "ok");
  std::string request = OnlyRequest();
  EXPECT_EQ(request.find("X-Evil"), std::string::npos);
  EXPECT_EQ(request.find("Cookie"), std::string::npos);
  EXPECT_TRUE(Has(request, "X-Ok: 1"));
}

TEST_F(FetchRawTest, BlanksAndHighBytesInTheAddressArePercentEncoded) {
  Serve(kOk);
  FetchBytes("http://www.example.com/a b?q=\xD6\xD0");
  EXPECT_EQ(OnlyRequest().rfind("GET /a%20b?q=%D6%D0 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(FetchRawTest, HashInTheAddressTravelsAsPercent23) {
  const Text probe = "http://www.example.com/cgi-bin/qzshare/cgi_qzshareget_urlinfo?url=";
  const std::string target = "/cgi-bin/qzshare/cgi_qzshareget_urlinfo?url=";
  struct Case {
    const char* what;
    Text address;
    std::string sent;
  } cases[] = {
      {"fragment of the row's address", "http://a.example/p?x=1&y=2#frag",
       "http://a.example/p?x=1&y=2%23frag"},
      {"hash route", "https://site.example/#/product/7", "https://site.example/%23/product/7"},
      {"at the start", "#top", "%23top"},
      {"twice", "a#b#c", "a%23b%23c"},
      {"beside percent signs, which stay as they are", "%#%23#", "%%23%23%23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Serve(kOk);
    EXPECT_EQ(FetchText(probe + c.address), "ok");
    EXPECT_EQ(OnlyRequest().substr(0, OnlyRequest().find("\r\n")),
              "GET " + target + c.sent + " HTTP/1.1");
  }
}

TEST_F(FetchRawTest, AnswerOverTheBodyCapStillSetsItsCookies) {
  platform::TransportSetting smallCap;
  smallCap.requestBodyCap = 4;
  Serve("HTTP/1.1 200 OK\r\nSet-Cookie: big=1; path=/\r\nContent-Length: 10\r\n\r\n0123456789",
        smallCap);
  Text newCookies;
  Text responseHeaders;
  ExchangeOutcome outcome;
  Bytes body = FetchBytesWithOutcome(outcome, "http://www.example.com/", {}, {}, {}, newCookies, {},
                                     {}, 0, 0, responseHeaders);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(outcome.status, 200);
  EXPECT_EQ(outcome.failure, ExchangeFailure::kNone);
  EXPECT_EQ(newCookies, "big=1;");
  EXPECT_NE(responseHeaders.find("Set-Cookie: big=1; path=/\r\n"), std::string::npos);
  EXPECT_EQ(ReadStoreCookies("example.com", "big"), "1");
}

TEST_F(FetchRawTest, StoredCookiesAreMergedUnderTheCallersAndSent) {
  Serve(kOk);
  WriteStoreCookies("example.com", "a=0;b=2");
  Text cookies = "a=1";
  FetchBytes("http://www.example.com/", {}, {}, cookies);
  EXPECT_EQ(cookies, "a=1; b=2;");
  EXPECT_TRUE(Has(OnlyRequest(), "Cookie: a=1; b=2;"));
}

TEST_F(FetchRawTest, SetCookieAndLocationLinesAreScanned) {
  struct Case {
    const char* what;
    std::string answerHeaders;
    Text newCookies;
    Text cookies;
    Text location;
    Text stored;
  } cases[] = {
      // Items after a "; " keep their leading blank as part of the name in the store.
      {"two cookies", "Set-Cookie: s=1; path=/\r\nSet-Cookie: t=2; HttpOnly\r\n", "s=1; t=2;",
       "c=0; s=1; t=2;", "", "c=0;  s=1;  t=2"},
      {"cookie without ;", "Set-Cookie: u=3\r\n", ";", "c=0;", "", "c=0"},
      // Deleted from the merged string, not from the store.
      {"deleted by the server", "Set-Cookie: c=deleted; path=/\r\n", "c=deleted;", "", "", "c=0"},
      {"location", "Location: /next\r\n", "", "c=0;", "/next", "c=0"},
      {"content-location counts too", "Content-Location: /doc\r\n", "", "c=0;", "Content- /doc",
       "c=0"},
      {"later location wins", "Location: /one\r\nLocation:  /two \r\n", "", "c=0;", "/two", "c=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::ClearStoreCookies();
    WriteStoreCookies("example.com", "c=0");
    Serve("HTTP/1.1 302 Found\r\n" + c.answerHeaders + "Content-Length: 0\r\n\r\n");
    Text cookies;
    Text newCookies = "stale";
    Text location;
    Text responseHeaders;
    FetchBytes("http://www.example.com/", {}, {}, cookies, newCookies, {}, location, 1, 0,
               responseHeaders);
    EXPECT_TRUE(Has(OnlyRequest(), "Cookie: c=0;"));
    EXPECT_EQ(newCookies, c.newCookies);
    EXPECT_EQ(cookies, c.cookies);
    EXPECT_EQ(ReadStoreCookies("example.com", ""), c.stored);
    EXPECT_EQ(responseHeaders, c.answerHeaders + "Content-Length: 0\r\n\r\n");
    // Without a Location line the caller's empty location receives the header text.
    EXPECT_EQ(location, c.location.empty() ? responseHeaders : c.location);
  }
}

TEST_F(FetchRawTest, LocationThatCameInIsKeptWithoutALocationLine) {
  Serve(kOk);
  Text location = "/kept";
  FetchBytes("http://www.example.com/", {}, {}, {}, {}, {}, location);
  EXPECT_EQ(location, "/kept");
}

TEST_F(FetchRawTest, PostBytesGoInsteadOfPostText) {
  Serve(kOk);
  FetchBytes("http://www.example.com/", Text("POST"), "text", {}, {}, {}, {}, 0, 0, {},
             Bytes{'b', 0, 'y'});
  std::string request = OnlyRequest();
  EXPECT_EQ(request.substr(request.size() - 3), std::string("b\0y", 3));
  EXPECT_EQ(request.find("text"), std::string::npos);
}

TEST_F(FetchRawTest, TimeoutEndsAStalledAnswer) {
  server_ = std::make_unique<RawServer>([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npartial", milliseconds(8000)};
  });
  ASSERT_TRUE(server_->Start());
  test::ScopedTransport route("", {{"www.example.com", 80, server_->port()}});
  Text responseHeaders;
  auto started = std::chrono::steady_clock::now();
  Text body = FetchText("http://www.example.com/", {}, {}, {}, {}, {}, {}, 0, 1, responseHeaders);
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(body, "");
  EXPECT_EQ(responseHeaders, "");
  EXPECT_GE(waited, milliseconds(900));
  EXPECT_LT(waited, milliseconds(5000));
}

TEST_F(FetchRawTest, UnreachablePortFailsSilently) {
  test::ScopedTransport route("", {{"www.example.com", 80, test::UnusedPort()}});
  WriteStoreCookies("example.com", "s=9");
  Text method = "get";
  Text cookies = "a=1";
  Text newCookies = "stale";
  Text headers;
  Text location;
  Text responseHeaders = "stale";
  Text body = FetchText("http://www.example.com/p", method, {}, cookies, newCookies, headers,
                        location, 0, 0, responseHeaders);
  EXPECT_EQ(body, "");
  EXPECT_EQ(method, "GET");
  EXPECT_EQ(cookies, "s=9; a=1;");
  EXPECT_EQ(newCookies, "");
  EXPECT_NE(headers.find("Referer: http://www.example.com/p"), std::string::npos);
  EXPECT_EQ(location, "");
  EXPECT_EQ(responseHeaders, "");
  EXPECT_EQ(ReadStoreCookies("example.com", ""), "s=9;  a=1");  // the second name is " a"
}

// HTTPS exchanges with the real share host routed to a loopback server.
class FetchHttpsTest : public testing::Test {
 protected:
  FetchHttpsTest() : certs_({"sns.qzone.qq.com", "www.qq.com"}), server_(certs_) {}
  void SetUp() override {
    platform::ClearStoreCookies();
    ASSERT_TRUE(certs_.ok());
    server_.routes().Get("/set", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "sid=abc; path=/");
      res.set_content("set", "text/plain");
    });
    server_.routes().Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server_.routes().Get("/utf8", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("summary\":\"\xE4\xB8\xAD\xE6\x96\x87\",", "application/json");
    });
    server_.routes().Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      int left = std::stoi(req.matches[1]);
      if (left == 0) {
        res.set_content("arrived", "text/plain");
      } else {
        res.set_header("Set-Cookie", "hop=" + std::to_string(left) + "; path=/");
        res.set_redirect("/hop/" + std::to_string(left - 1));
        res.set_content("hop " + std::to_string(left), "text/plain");
      }
    });
    server_.routes().Get("/down", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("http://www.qq.com/plain");
    });
    server_.routes().Get("/down-moved", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "d=1; path=/");
      res.set_redirect("http://www.qq.com/plain");
      res.set_content("moved", "text/plain");
    });
    ASSERT_TRUE(server_.Start());
    plain_.routes().Get("/plain", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard guard(lock_);
      ++plainHits_;
      res.set_content("plain", "text/plain");
    });
    ASSERT_TRUE(plain_.Start());
    transport_ = std::make_unique<test::ScopedTransport>(
        certs_.caFile(), std::vector<test::Route>{{"sns.qzone.qq.com", 443, server_.port()},
                                                  {"www.qq.com", 443, server_.port()},
                                                  {"www.qq.com", 80, plain_.port()}});
  }
  void TearDown() override { platform::ClearStoreCookies(); }

  test::TestCertificates certs_;
  test::LoopbackServer server_;
  test::LoopbackServer plain_;
  std::unique_ptr<test::ScopedTransport> transport_;
  std::mutex lock_;
  int plainHits_ = 0;
};

TEST_F(FetchHttpsTest, CookiesTravelToTheNextRequestAcrossThreads) {
  Text first;
  std::thread([&] { first = FetchText("https://sns.qzone.qq.com/set"); }).join();
  EXPECT_EQ(first, "set");
  EXPECT_EQ(ReadStoreCookies("qq.com", "sid"), "abc");
  Text echoed;
  std::thread([&] { echoed = FetchText("https://www.qq.com/echo"); }).join();
  EXPECT_EQ(echoed, "sid=abc;");
}

TEST_F(FetchHttpsTest, ConcurrentCallsShareTheStoreSafely) {
  constexpr int kThreads = 4;
  constexpr int kCallsEach = 5;
  std::vector<std::thread> threads;
  std::vector<int> answered(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsEach; ++i) {
        Text cookies = "t" + std::to_string(t) + "=" + std::to_string(i);
        if (FetchText("https://sns.qzone.qq.com/echo", {}, {}, cookies) != "")
          ++answered[static_cast<std::size_t>(t)];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(answered[static_cast<std::size_t>(t)], kCallsEach);
    // Which value survives depends on the interleaving; that each cookie is there does not.
    EXPECT_NE(ReadStoreCookies("qq.com", "t" + std::to_string(t)), "");
  }
}

TEST_F(FetchHttpsTest, BodyIsDecodedFromUtf8) {
  // The share probe's all-variables call shape.
  Text url = "https://sns.qzone.qq.com/utf8";
  Text method, postText, cookies, newCookies, headers, location, responseHeaders;
  Bytes postBytes;
  Text answer = FetchText(url, method, postText, cookies, newCookies, headers, location, 0, 0,
                          responseHeaders, postBytes);
  EXPECT_EQ(answer, "summary\":\"\xD6\xD0\xCE\xC4\",");  // "中文"
  EXPECT_NE(responseHeaders.find("Content-Type: application/json\r\n"), std::string::npos);
}

TEST_F(FetchHttpsTest, RedirectsFollowedUpToTenUnlessSwitchedOff) {
  EXPECT_EQ(FetchText("https://sns.qzone.qq.com/hop/10"), "arrived");
  Text location;
  FetchText("https://sns.qzone.qq.com/hop/3", {}, {}, {}, {}, {}, location, 1);
  EXPECT_EQ(location, "/hop/2");
}

TEST_F(FetchHttpsTest, EleventhRedirectComesBackAsWithNoRedirect) {
  struct Result {
    ExchangeOutcome outcome;
    Text body, newCookies, location, responseHeaders;
  };
  auto fetch = [](const Text& url, int noRedirect) {
    Result r;
    r.body = BytesToText(FetchBytesWithOutcome(r.outcome, url, {}, {}, {}, r.newCookies, {},
                                               r.location, noRedirect, 0, r.responseHeaders));
    return r;
  };
  // Ten redirects lead from /hop/11 to /hop/1, whose answer asks for the eleventh.
  Result past = fetch("https://sns.qzone.qq.com/hop/11", 0);
  Result asked = fetch("https://sns.qzone.qq.com/hop/1", 1);
  for (const Result* r : {&past, &asked}) {
    SCOPED_TRACE(r == &past ? "eleventh redirect" : "noRedirect");
    EXPECT_EQ(r->outcome.status, 302);
    EXPECT_EQ(r->outcome.failure, ExchangeFailure::kNone);
    EXPECT_EQ(r->body, "hop 1");
    EXPECT_EQ(r->location, "/hop/0");
    EXPECT_EQ(r->newCookies, "hop=1;");
    EXPECT_NE(r->responseHeaders.find("\r\nLocation: /hop/0\r\n"), std::string::npos);
  }
  EXPECT_EQ(ReadStoreCookies("qq.com", "hop"), "1");
}

TEST_F(FetchHttpsTest, HttpsIsNeverRedirectedDownToHttp) {
  EXPECT_EQ(FetchText("http://www.qq.com/plain"), "plain");  // the route itself works
  EXPECT_EQ(FetchText("https://www.qq.com/down"), "");
  // The answer that asked for the downgrade is the answer, cookies and all.
  ExchangeOutcome outcome;
  Text newCookies;
  Text location;
  Text responseHeaders;
  Bytes body = FetchBytesWithOutcome(outcome, "https://www.qq.com/down-moved", {}, {}, {},
                                     newCookies, {}, location, 0, 0, responseHeaders);
  EXPECT_EQ(BytesToText(body), "moved");
  EXPECT_EQ(outcome.status, 302);
  EXPECT_EQ(location, "http://www.qq.com/plain");
  EXPECT_EQ(newCookies, "d=1;");
  EXPECT_NE(responseHeaders.find("Set-Cookie: d=1; path=/\r\n"), std::string::npos);
  EXPECT_EQ(ReadStoreCookies("qq.com", "d"), "1");
  std::lock_guard guard(lock_);
  EXPECT_EQ(plainHits_, 1);
}

TEST(FetchCertificateTest, CertificateForAnotherHostFailsSilently) {
  platform::ClearStoreCookies();
  test::TestCertificates certs({"other.example.net"});
  ASSERT_TRUE(certs.ok());
  test::LoopbackServer server(certs);
  int hits = 0;
  std::mutex lock;
  server.routes().Get("/", [&](const httplib::Request&, httplib::Response& res) {
    std::lock_guard guard(lock);
    ++hits;
    res.set_content("secret", "text/plain");
  });
  ASSERT_TRUE(server.Start());
  test::ScopedTransport route(certs.caFile(), {{"sns.qzone.qq.com", 443, server.port()}});
  Text cookies = "k=v";
  Text responseHeaders;
  EXPECT_EQ(
      FetchText("https://sns.qzone.qq.com/", {}, {}, cookies, {}, {}, {}, 0, 0, responseHeaders),
      "");
  EXPECT_EQ(responseHeaders, "");
  EXPECT_EQ(ReadStoreCookies("qq.com", ""), "k=v");
  std::lock_guard guard(lock);
  EXPECT_EQ(hits, 0);
  platform::ClearStoreCookies();
}

TEST(FetchOutcomeTest, StatusAndFailureKindOfEachWayAnExchangeEnds) {
  platform::ClearStoreCookies();
  test::TestCertificates certs({"other.example.net"});
  ASSERT_TRUE(certs.ok());
  test::LoopbackServer wrongHost(certs);
  wrongHost.routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("secret", "text/plain");
  });
  ASSERT_TRUE(wrongHost.Start());
  RawServer answering([](const std::string&) {
    return Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope");
  });
  ASSERT_TRUE(answering.Start());
  RawServer stalling([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npartial", milliseconds(8000)};
  });
  ASSERT_TRUE(stalling.Start());
  test::ScopedTransport route(certs.caFile(), {{"www.example.com", 80, answering.port()},
                                               {"stall.example.com", 80, stalling.port()},
                                               {"refused.example.com", 80, test::UnusedPort()},
                                               {"sns.qzone.qq.com", 443, wrongHost.port()}});
  struct Case {
    const char* what;
    Text url;
    int timeoutSeconds;
    int status;
    ExchangeFailure failure;
  } cases[] = {
      {"an error status is an answer", "http://www.example.com/", 0, 404, ExchangeFailure::kNone},
      {"refused port", "http://refused.example.com/", 0, 0, ExchangeFailure::kConnect},
      {"unresolvable name", "http://nothing.invalid/", 0, 0, ExchangeFailure::kResolve},
      {"certificate for another host", "https://sns.qzone.qq.com/", 0, 0, ExchangeFailure::kTls},
      {"stall past the limit", "http://stall.example.com/", 1, 0, ExchangeFailure::kTimeout},
      {"address the request object refuses", "http://www.example.com/\x01", 0, 0,
       ExchangeFailure::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExchangeOutcome outcome{999, ExchangeFailure::kOther};
    if (c.failure == ExchangeFailure::kOther) outcome.failure = ExchangeFailure::kNone;
    FetchBytesWithOutcome(outcome, c.url, {}, {}, {}, {}, {}, {}, 0, c.timeoutSeconds);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.failure, c.failure);
  }
  platform::ClearStoreCookies();
}

}  // namespace
}  // namespace velmora
