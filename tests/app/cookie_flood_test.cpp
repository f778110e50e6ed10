// A batch against a share service whose every answer sets many new cookies: the
// store's limits keep each probe's Cookie header small enough for the service to
// take, so every row still gets its summary.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/batch.h"
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

constexpr int kRows = 200;
constexpr int kCookiesPerAnswer = 50;
// Each cookie about 100 bytes: two answers' worth pass what the service takes.
constexpr size_t kCookieValueBytes = 90;
// The request head line the stand-in's server accepts at most.
constexpr size_t kServiceHeaderLimit = 8192;

// Row addresses without "http://": every probe keys its cookies by the share host's
// domain, so all of them read and write the same host's cookies.
Text Address(int row) { return "https://row" + std::to_string(row) + ".example/"; }

class CookieFloodTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::ClearStoreCookies();
    ASSERT_TRUE(service_.Start());
  }
  void TearDown() override {
    (void)PumpUntil([this] { return service_.AnsweredCount() == service_.RequestCount(); });
    platform::ClearStoreCookies();
  }

  ShareService service_{64};
  MainWindow window_{WindowHandlers{}};
};

TEST_F(CookieFloodTest, EveryRowGetsItsSummaryWhenEachAnswerSetsFiftyNewCookies) {
  ClearRows();
  for (int row = 0; row < kRows; ++row) {
    InsertRow(row + 1, Address(row));
    ShareService::Answer answer{ShareService::SummaryBody("row " + std::to_string(row))};
    for (int k = 0; k < kCookiesPerAnswer; ++k) {
      const std::string name = "r" + std::to_string(row) + "c" + std::to_string(k);
      answer.headers.emplace_back("Set-Cookie",
                                  name + "=" + std::string(kCookieValueBytes, 'v') + "; path=/");
    }
    service_.SetAnswer(Address(row), std::move(answer));
  }

  RunBatch();
  const bool allShown = PumpUntil(
      [] {
        for (int row = 0; row < kRows; ++row) {
          if (GetCellText(row, 1).empty()) return false;
        }
        return true;
      },
      std::chrono::milliseconds(30000));
  EXPECT_TRUE(allShown);
  for (int row = 0; row < kRows; ++row) {
    EXPECT_EQ(GetCellText(row, 1), "for row " + std::to_string(row)) << "row " << row;
  }

  const auto requests = service_.Requests();
  EXPECT_EQ(requests.size(), static_cast<size_t>(kRows));
  size_t longest = 0;
  for (const auto& request : requests) {
    auto cookie = request.headers.find("Cookie");
    ASSERT_NE(cookie, request.headers.end()) << request.address;
    // The flood evicts the stored probe cookie; the probe's own one still goes along.
    EXPECT_NE(cookie->second.find(kProbeCookieItem), std::string::npos) << request.address;
    longest = std::max(longest, cookie->second.size());
  }
  RecordProperty("longest_cookie_header_bytes", std::to_string(longest));
  EXPECT_LE(longest, kServiceHeaderLimit);
  // The store held no more than one host's limit of the flood's cookies.
  const std::string stored = platform::GetStoreCookies("http://qq.com").value_or("");
  EXPECT_EQ(static_cast<size_t>(std::count(stored.begin(), stored.end(), '=')),
            platform::kMaxCookiesPerHost)
      << stored.substr(0, 200);
}

}  // namespace
}  // namespace velmora
