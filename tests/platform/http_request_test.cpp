#include "platform/http_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

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
  ASSERT_TRUE(request->Send(std::string_view{}));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].find("Injected"), std::string::npos);
  EXPECT_NE(requests[0].find("\r\nX-Tab: a\tb\r\n"), std::string::npos);
}

TEST(HttpRequestTest, BlanksAndHighBytesArePercentEncoded) {
  RawServer server(Hello);
  ASSERT_TRUE(server.Start());
  auto request = HttpRequest::Create();
  ASSERT_TRUE(request->Open("GET", Url(server, "/a b/\xD6\xD0?q=x y"), OpenMode::kSynchronous));
  ASSERT_TRUE(request->Send(std::string_view{}));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("GET /a%20b/%D6%D0?q=x%20y HTTP/1.1\r\n", 0), 0u);
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
}

}  // namespace
}  // namespace velmora::platform
