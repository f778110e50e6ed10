// The share-info probe against a loopback stand-in of the service: the exact
// request, the cookies it leaves in the store, and the summaries it writes.
#include "app/probe.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "app/main_window.h"
#include "platform/cookie_jar.h"
#include "support/main_thread.h"
#include "support/share_service.h"
#include "table/url_table.h"

namespace velmora {
namespace {

using test::kProbeCookieItem;
using test::PumpUntil;
using test::ShareService;

// Runs ProbeRow(row) on a worker of its own, as the batch does, and serves its table
// calls until it has finished.
void ProbeOnWorker(int row) {
  std::atomic<bool> done{false};
  std::thread worker([row, &done] {
    ProbeRow(row);
    done = true;
  });
  const bool finished = PumpUntil([&done] { return done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
}

class ProbeTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::ClearStoreCookies();
    ASSERT_TRUE(service_.Start());
    ClearRows();
  }
  void TearDown() override { platform::ClearStoreCookies(); }

  ShareService service_;
  MainWindow window_{WindowHandlers{}};
};

TEST(ProbeConstants, HeaderBlockAndCookieAreBuiltIn) {
  EXPECT_EQ(ProbeHeaders().size(), 140u);
  EXPECT_EQ(ProbeCookie().size(), 149u + kShareHost.size());
  EXPECT_EQ(ProbeCookie(),
            std::string(kProbeCookieItem) + ";path=;max-age=900;domain=sns.qzone.qq.com;");
  EXPECT_EQ(ProbeAddress("a b&c#d"),
            "https://sns.qzone.qq.com/cgi-bin/qzshare/cgi_qzshareget_urlinfo?url=a b&c#d");
}

TEST_F(ProbeTest, SendsTheServiceRequestAndStoresItsCookies) {
  InsertRow(-1, "https://www.example.com/");
  ProbeOnWorker(0);

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.target,
            std::string(test::kShareEndpointPath) + "?url=https://www.example.com/");
  auto header = [&request](const char* name) {
    auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string("<none>") : found->second;
  };
  EXPECT_EQ(header("accept"),
            "text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8");
  EXPECT_EQ(header("accept-language"), "zh-CN,zh;q=0.8");
  EXPECT_EQ(header("cache-control"), "max-age=0");
  // First request with an empty store: the probe cookie in normal form, the empty
  // path item dropped.
  EXPECT_EQ(header("Cookie"),
            std::string(kProbeCookieItem) + "; max-age=900; domain=sns.qzone.qq.com;");
  // The probe's own header block replaces the routine's default one.
  EXPECT_EQ(header("Referer"), "<none>");
  EXPECT_EQ(header("User-Agent"), "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)");

  // A row address without "http://" keys the cookies by the share host's last two
  // labels; names keep their leading blank.
  EXPECT_EQ(platform::GetStoreCookies("http://qq.com"),
            std::string(kProbeCookieItem) + ";  max-age=900;  domain=sns.qzone.qq.com");
  EXPECT_EQ(GetCellText(0, 1), "for https://www.example.com/");
}

TEST_F(ProbeTest, AppendsTheAddressUnchangedAndKeysCookiesByItsHttpHost) {
  InsertRow(-1, "http://Shop.Example.net/list;a=1&b=two words");
  ProbeOnWorker(0);

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  // Blanks cannot go on the wire raw; they go percent-encoded, nothing else changes.
  // (The stand-in cannot parse a second "?" in a target, so the address has none.)
  EXPECT_EQ(requests[0].address, "http://Shop.Example.net/list;a=1&b=two%20words");
  EXPECT_TRUE(platform::GetStoreCookies("http://example.net").has_value());
  EXPECT_FALSE(platform::GetStoreCookies("http://qq.com").has_value());
}

TEST_F(ProbeTest, WritesTheSummaryBetweenTheMarkers) {
  struct Case {
    const char* name;
    std::string body;
    Text expected;
  };
  const Case cases[] = {
      {"plain", R"({"title":"x","summary":"Hello","images":[]})", "Hello"},
      {"capital S in the field name", R"({"Summary":"Hello","x":1})", "Hello"},
      {"first of two fields", R"({"summary":"one","summary":"two",})", "one"},
      {"missing start marker", R"({"title":"Hello","x":1})", ""},
      {"no end marker after it", R"({"summary":"Hello"})", ""},
      {"empty answer", "", ""},
      {"escapes stay as they came", R"({"summary":"a\/b \u4e2d","x":1})", R"(a\/b \u4e2d)"},
      // 中文摘要 arrives as UTF-8 and is shown from code page 936.
      {"Chinese text", "{\"summary\":\"\xE4\xB8\xAD\xE6\x96\x87\xE6\x91\x98\xE8\xA6\x81\",\"x\":1}",
       "\xD6\xD0\xCE\xC4\xD5\xAA\xD2\xAA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearRows();
    InsertRow(-1, "http://row.example/");
    SetCellText(0, 1, "earlier text");
    service_.SetAnswer("http://row.example/", {c.body});
    ProbeOnWorker(0);
    EXPECT_EQ(GetCellText(0, 1), c.expected);
  }
}

TEST_F(ProbeTest, ControlByteCookieDoesNotSilenceLaterProbes) {
  InsertRow(-1, "https://first.example/");
  InsertRow(-1, "https://second.example/");
  service_.SetAnswer("https://first.example/",
                     {ShareService::SummaryBody("first"),
                      std::chrono::milliseconds(0),
                      {{"Set-Cookie", "bad=x\x01y; path=/"}, {"Set-Cookie", "good=1; path=/"}}});
  ProbeOnWorker(0);
  ProbeOnWorker(1);

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  auto found = requests[1].headers.find("Cookie");
  ASSERT_NE(found, requests[1].headers.end()) << "the second probe went without cookies";
  const std::string& cookie = found->second;
  EXPECT_EQ(cookie.rfind(kProbeCookieItem, 0), 0u) << cookie;
  EXPECT_NE(cookie.find(" good=1;"), std::string::npos) << cookie;
  EXPECT_EQ(cookie.find("bad="), std::string::npos) << cookie;
  // The store refused the bad cookie and kept the answer's other one.
  EXPECT_EQ(platform::GetStoreCookies("http://qq.com").value_or("").find("bad="),
            std::string::npos);
  EXPECT_EQ(GetCellText(1, 1), "for https://second.example/");
}

TEST_F(ProbeTest, FailedRequestEmptiesTheCell) {
  InsertRow(-1, "http://row.example/");
  SetCellText(0, 1, "earlier text");
  service_.Stop();
  ProbeOnWorker(0);
  EXPECT_EQ(GetCellText(0, 1), "");
}

TEST_F(ProbeTest, RowThatIsGoneSendsAnEmptyAddressAndWritesNowhere) {
  InsertRow(-1, "http://row.example/");
  SetCellText(0, 1, "kept");
  ProbeOnWorker(7);
  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, std::string(test::kShareEndpointPath) + "?url=");
  EXPECT_EQ(RowCount(), 1);
  EXPECT_EQ(GetCellText(0, 1), "kept");
}

}  // namespace
}  // namespace velmora
