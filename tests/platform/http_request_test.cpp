#include "platform/http_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/transport.h"
#include "support/loopback_server.h"

namespace velmora::platform {
namespace {

using std::chrono::milliseconds;
using namespace std::string_literals;
using test::RawReply;
using test::RawServer;

std::string Answer(const std::string& headersAndBody) {
  return "HTTP/1.1 200 OK\r\n" + headersAndBody;
}

RawReply Hello(const std::string&) {
  return {Answer("Content-Length: 5\r\nX-One: 1\r\n\r\nhello"), milliseconds(0)};
}

std::string Text(const std::vector<unsigned char>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string Url(const RawServer& server, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

TEST(HttpRequestTest, SendsOwnUserAgentAndAcceptUnlessTheCallerHasThem) {
  RawServer server(Hello);
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_NE(request, nullptr);
  ASSERT_TRUE(request->Open("GET", Url(server, "/a"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  ASSERT_TRUE(request->Open("GET", Url(server, "/b"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->SetRequestHeader("user-agent", " Mine/1"));
  ASSERT_TRUE(request->SetRequestHeader("Accept", "text/html"));
  ASSERT_TRUE(request->Send(std::string_view{}));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("GET /a HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(requests[0].find(
                "\r\nUser-Agent: Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)\r\n"),
            std::string::npos);
  EXPECT_NE(requests[0].find("\r\nAccept: */*\r\n"), std::string::npos);
  // No compression asked for, no cookie engine, nothing libcurl would add of its own.
  for (const char* absent : {"Accept-Encoding", "Cookie", "Expect", "Content-Type"}) {
    SCOPED_TRACE(absent);
    EXPECT_EQ(requests[0].find(absent), std::string::npos);
  }
  EXPECT_NE(requests[1].find("\r\nuser-agent: Mine/1\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("WinHttp"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nAccept: text/html\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("*/*"), std::string::npos);
}

TEST(HttpRequestTest, AnswerComesBackRawWithHeaderLinesWithoutStatusLine) {
  // A compressed body stays compressed: nothing asked for it, nothing decodes it.
  RawServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 404 Not Found\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n"
        "Set-Cookie: a=1\r\n\r\n\x1f\x8b\x00\x01"s,
        milliseconds(0)};
  });
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  EXPECT_EQ(request->ResponseBody(), std::nullopt);  // nothing sent yet
  ASSERT_TRUE(request->Send(std::string_view{}));
  EXPECT_EQ(Text(*request->ResponseBody()), std::string("\x1f\x8b\x00\x01", 4));
  EXPECT_EQ(request->GetAllResponseHeaders(),
            "Content-Encoding: gzip\r\nContent-Length: 4\r\nSet-Cookie: a=1\r\n\r\n");
}

TEST(HttpRequestTest, UnsafeAddressesAndHeadersNeverReachTheWire) {
  RawServer server(Hello);
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  for (const char* path : {"/a\x01"
                           "b",
                           "/a\rb", "/a\nGET /x", "/a\x7f"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(request->Open("GET", Url(server, path), OpenMode::kSynchronous));
    EXPECT_FALSE(request->Send(std::string_view{}));
  }
  for (const char* bad : {"ftp://127.0.0.1/", "/relative", "http://", "127.0.0.1/x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(request->Open("GET", bad, OpenMode::kSynchronous));
  }
  EXPECT_FALSE(request->Open("GE T", Url(server, "/"), OpenMode::kSynchronous));
  EXPECT_FALSE(request->Open("GET", Url(server, "/"), OpenMode::kAsynchronous));
  EXPECT_TRUE(server.requests().empty());

  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->SetRequestHeader("X-A", "kept"));
  struct Header {
    const char* name;
    const char* value;
  } refused[] = {{"X-A", " 1\r\nInjected: yes"},
                 {"X-B", "1\nInjected: yes"},
                 {"X-C", "1\rInjected: yes"},
                 {"X-D", "a\x01"},
                 {"X D", "1"},
                 {"", "1"},
                 {"X-E\r\nInjected", "1"},
                 {"X:F", "1"}};
  for (const Header& h : refused) {
    SCOPED_TRACE(h.name);
    EXPECT_FALSE(request->SetRequestHeader(h.name, h.value));
  }
  EXPECT_TRUE(request->SetRequestHeader("X-Tab", "a\tb"));
  // A refused header is left out on its own: the exchange goes on, and the refused
  // value did not replace the earlier one of its name.
  ASSERT_TRUE(request->Send(std::string_view{}));
  EXPECT_EQ(request->Status(), 200);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].find("Injected"), std::string::npos);
  EXPECT_NE(requests[0].find("\r\nX-A: kept\r\n"), std::string::npos);
  EXPECT_NE(requests[0].find("\r\nX-Tab: a\tb\r\n"), std::string::npos);
}

TEST(HttpRequestTest, BlanksHashAndHighBytesArePercentEncoded) {
  RawServer server(Hello);
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", Url(server, "/a b/\xD6\xD0?q=x y#f#g"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("GET /a%20b/%D6%D0?q=x%20y%23f%23g HTTP/1.1\r\n", 0), 0u);
  // A '#' in the host part cannot travel: the address is refused, not cut short.
  EXPECT_FALSE(request->Open("GET", "http://127.0.0.1#x", OpenMode::kSynchronous));
}

TEST(HttpRequestTest, TextBodyGoesAsUtf8AndBytesAsTheyAre) {
  RawServer server(Hello);
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("POST", Url(server, "/"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view("k=\xD6\xD0")));  // "中" in code page 936
  ASSERT_TRUE(request->Open("PUT", Url(server, "/"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::vector<unsigned char>{0xD6, 0x00, 0xD0}));
  ASSERT_TRUE(request->Open("POST", Url(server, "/"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].rfind("POST / HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(requests[0].substr(requests[0].size() - 5), "k=\xE4\xB8\xAD");
  EXPECT_NE(requests[0].find("Content-Length: 5\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].rfind("PUT / HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(requests[1].substr(requests[1].size() - 3), std::string("\xD6\x00\xD0", 3));
  // An empty POST says so and carries no content type of libcurl's choosing.
  EXPECT_NE(requests[2].find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(requests[2].find("Content-Type"), std::string::npos);
}

TEST(HttpRequestTest, ReceiveLimitBoundsTheWaitForTheNextData) {
  // Headers and a first part of the body come, then the server falls silent.
  RawServer server([](const std::string&) {
    return RawReply{Answer("Content-Length: 100\r\n\r\n0123456789"), milliseconds(6000)};
  });
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->SetTimeouts(500, 500, 500, 500));
  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(request->Send(std::string_view{}));
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, milliseconds(450));
  EXPECT_LT(waited, milliseconds(4000));
  EXPECT_EQ(request->ResponseBody(), std::nullopt);
  EXPECT_EQ(request->GetAllResponseHeaders(), std::nullopt);
  EXPECT_EQ(request->Status(), 0);
  EXPECT_EQ(request->Failure(), SendFailure::kTimeout);
}

TEST(HttpRequestTest, DrippingAnswerEndsAfterFourTimesThePhaseLimit) {
  // A byte a second keeps every per-packet wait short, for ever.
  RawServer server([](const std::string&) {
    RawReply reply{Answer("Content-Length: 100000\r\n\r\n"), milliseconds(20000)};
    reply.dripEvery = milliseconds(1000);
    return reply;
  });
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->SetTimeouts(1500, 1500, 1500, 1500));
  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(request->Send(std::string_view{}));
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, milliseconds(5900));
  EXPECT_LT(waited, milliseconds(10000));
  EXPECT_EQ(request->Failure(), SendFailure::kTimeout);
  EXPECT_EQ(request->ResponseBody(), std::nullopt);
}

TEST(HttpRequestTest, AnswerOverTheBodyCapKeepsItsHeadersAndNoBody) {
  RawServer server([](const std::string&) {
    return RawReply{Answer("Content-Length: 10\r\nSet-Cookie: big=1\r\n\r\n0123456789"),
                    milliseconds(0)};
  });
  ASSERT_TRUE(server.Start());
  TransportSetting smallCap;
  smallCap.requestBodyCap = 4;
  test::ScopedTransport transport("", {}, smallCap);
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  EXPECT_TRUE(request->Send(std::string_view{}));
  EXPECT_EQ(request->Status(), 200);
  EXPECT_EQ(request->Failure(), SendFailure::kNone);
  EXPECT_EQ(request->ResponseBody(), std::vector<unsigned char>{});
  EXPECT_EQ(request->GetAllResponseHeaders(), "Content-Length: 10\r\nSet-Cookie: big=1\r\n\r\n");
}

// Two host names routed to one raw server that answers by request line: each
// redirect case is a hop from a.example, sometimes to b.example.
TEST(HttpRequestTest, RedirectsChangeMethodAndDropCredentialsAsBrowsersDo) {
  RawServer server([](const std::string& request) {
    std::string target = request.substr(0, request.find(" HTTP/"));
    target = target.substr(target.find(' ') + 1);
    if (target.rfind("/to", 0) == 0) return RawReply{Answer("Content-Length: 2\r\n\r\nto"), {}};
    std::string code = target.substr(1, 3);
    std::string where = target.size() > 4 ? "http://b.example" + target.substr(4) : "/to";
    return RawReply{
        "HTTP/1.1 " + code + " Moved\r\nLocation: " + where + "\r\nContent-Length: 5\r\n\r\nmoved",
        milliseconds(0)};
  });
  ASSERT_TRUE(server.Start());
  test::ScopedTransport route("",
                              {{"a.example", 80, server.port()}, {"b.example", 80, server.port()}});
  struct Case {
    const char* what;
    const char* method;
    const char* path;
    std::string body;
    std::string secondLine;  // request line of the followed request
    bool bodyAgain;
    bool credentialsAgain;
  } cases[] = {
      {"302 turns a POST into a GET", "POST", "/302", "k=v", "GET /to HTTP/1.1", false, true},
      {"301 turns a POST into a GET", "POST", "/301", "k=v", "GET /to HTTP/1.1", false, true},
      {"302 keeps a PUT", "PUT", "/302", "k=v", "PUT /to HTTP/1.1", true, true},
      {"303 turns a PUT into a GET", "PUT", "/303", "k=v", "GET /to HTTP/1.1", false, true},
      {"307 repeats method and body", "POST", "/307", "k=v", "POST /to HTTP/1.1", true, true},
      {"308 repeats method and body", "POST", "/308", "k=v", "POST /to HTTP/1.1", true, true},
      {"another host gets no cookie or authorization", "GET", "/302/to/b", "", "GET /to/b HTTP/1.1",
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t before = server.requests().size();
    auto request = HttpRequest::Create();
    ASSERT_TRUE(
        request->Open(c.method, std::string("http://a.example") + c.path, OpenMode::kSynchronous));
    ASSERT_TRUE(request->SetRequestHeader("Cookie", "c=1;"));
    ASSERT_TRUE(request->SetRequestHeader("Authorization", "Basic eDp5"));
    ASSERT_TRUE(request->Send(std::string_view(c.body)));
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(Text(*request->ResponseBody()), "to");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), before + 2);
    const std::string& second = requests[before + 1];
    EXPECT_EQ(second.rfind(c.secondLine + "\r\n", 0), 0u) << second;
    EXPECT_EQ(second.find("Content-Length") != std::string::npos, c.bodyAgain) << second;
    if (c.bodyAgain) {
      EXPECT_EQ(second.substr(second.size() - 3), c.body);
    }
    EXPECT_EQ(second.find("\r\nCookie: c=1;\r\n") != std::string::npos, c.credentialsAgain);
    EXPECT_EQ(second.find("\r\nAuthorization: Basic eDp5\r\n") != std::string::npos,
              c.credentialsAgain);
  }
}

TEST(HttpRequestTest, RedirectNotFollowedHandsBackItsOwnAnswer) {
  RawServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 302 Found\r\nLocation: ftp://a.example/x\r\n"
        "Content-Length: 5\r\n\r\nmoved",
        milliseconds(0)};
  });
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", Url(server, "/"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  EXPECT_EQ(request->Status(), 302);
  EXPECT_EQ(Text(*request->ResponseBody()), "moved");
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpRequestTest, ReceiveLimitIsNotAWholeTransferLimit) {
  // A slow server that keeps sending within the limit is not cut off.
  test::LoopbackServer server;
  server.routes().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [&](size_t offset, httplib::DataSink& sink) {
      if (offset >= 8) {
        sink.done();
        return true;
      }
      server.Pause(milliseconds(300));
      sink.write("ab", 2);
      return true;
    });
  });
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->SetTimeouts(700, 700, 700, 700));
  ASSERT_TRUE(request->Open("GET", "http://127.0.0.1:" + std::to_string(server.port()) + "/slow",
                            OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  EXPECT_EQ(Text(*request->ResponseBody()), "abababab");
}

TEST(HttpRequestTest, ConnectionRefusedFailsQuietly) {
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/",
                            OpenMode::kSynchronous));
  EXPECT_FALSE(request->Send(std::string_view{}));
  EXPECT_EQ(request->ResponseBody(), std::nullopt);
  EXPECT_EQ(request->Failure(), SendFailure::kConnect);
}

}  // namespace
}  // namespace velmora::platform
