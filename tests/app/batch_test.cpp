// The batch run: one worker per row started 100 ms apart while events keep being
// served, its re-entrancy, and shutdown while workers still wait on the service.
#include "app/batch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "app/main_window.h"
#include "app/probe.h"
#include "app/startup.h"
#include "platform/cookie_jar.h"
#include "platform/no_destructor.h"
#include "share_service.h"
#include "support/main_thread.h"
#include "table/url_table.h"
#include "web/fetch.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::ShareService;

using test::PumpUntil;

Text Address(int row) { return "http://site" + std::to_string(row) + ".example/"; }

class BatchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.Start());
    ClearRows();
  }
  void TearDown() override {
    // Workers still waiting would otherwise outlive the fixture's server.
    (void)PumpUntil([this] { return service_.AnsweredCount() == service_.RequestCount(); });
    platform::ClearStoreCookies();
  }

  static void Fill(int rows) { test::Fill(rows, Address); }

  // Opens a few connections to the service ahead of a batch whose request order is
  // checked: a fresh TLS handshake can take longer than the spacing (it does under
  // the thread checker), and would let a later worker's request arrive first.
  void WarmUp() {
    std::vector<std::thread> probes;
    for (int i = 0; i < 8; ++i)
      probes.emplace_back([] { (void)FetchText(ProbeAddress("warm-up")); });
    for (auto& probe : probes) probe.join();
    service_.ClearRequests();
    platform::ClearStoreCookies();
  }

  ShareService service_{64};
  MainWindow window_{};
};

TEST_F(BatchTest, EmptyTableReturnsAtOnce) {
  ClearRows();
  QElapsedTimer clock;
  clock.start();
  RunBatch();
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_EQ(service_.RequestCount(), 0u);
}

TEST_F(BatchTest, PauseLastsAtLeastItsTimeAndServesEvents) {
  bool served = false;
  QTimer::singleShot(10, [&served] { served = true; });
  QElapsedTimer clock;
  clock.start();
  PauseWithEvents(100);
  EXPECT_GE(clock.elapsed(), 100);
  EXPECT_TRUE(served);
  clock.restart();
  PauseWithEvents(0);
  PauseWithEvents(-5);
  EXPECT_LT(clock.elapsed(), 20);
}

TEST_F(BatchTest, StartButtonProbesTheDesignTimeRow) {
  // The fixture cleared the table; a fresh window shows the design-time row.
  MainWindow window;
  auto* start = window.findChild<QPushButton*>(kStartButtonName);
  ASSERT_NE(start, nullptr);
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_GE(clock.elapsed(), kBatchSpacingMs);
  ASSERT_TRUE(PumpUntil([] { return GetCellText(0, 1) == "for https://www.example.com/"; }));
  EXPECT_EQ(service_.RequestCount(), 1u);
}

TEST_F(BatchTest, FiftyRowsStartInOrderAHundredMillisecondsApart) {
  constexpr int kRows = 50;
  Fill(kRows);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> delayMs(0, 400);
  for (int row = 0; row < kRows; ++row) {
    service_.SetAnswer(Address(row), {ShareService::SummaryBody("answer " + std::to_string(row)),
                                      std::chrono::milliseconds(delayMs(random))});
  }
  // The second column is not cleared when a batch starts.
  SetCellText(3, 1, "from an earlier batch");
  WarmUp();

  QElapsedTimer clock;
  clock.start();
  bool sawEarlierText = false;
  QTimer::singleShot(
      150, [&sawEarlierText] { sawEarlierText = GetCellText(3, 1) == "from an earlier batch"; });
  RunBatch();
  const qint64 handlerMs = clock.elapsed();
  EXPECT_GE(handlerMs, kRows * kBatchSpacingMs);
  EXPECT_TRUE(sawEarlierText);

  ASSERT_TRUE(PumpUntil([] {
    for (int row = 0; row < kRows; ++row) {
      if (GetCellText(row, 1).rfind("for answer", 0) != 0) return false;
    }
    return true;
  }));
  for (int row = 0; row < kRows; ++row) {
    EXPECT_EQ(GetCellText(row, 1), "for answer " + std::to_string(row)) << "row " << row;
  }

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), static_cast<size_t>(kRows));
  std::vector<double> gapsMs;
  for (int row = 0; row < kRows; ++row) {
    const auto r = static_cast<std::size_t>(row);
    EXPECT_EQ(requests[r].address, Address(row)) << "start order";
    if (r > 0) {
      gapsMs.push_back(
          std::chrono::duration<double, std::milli>(requests[r].arrived - requests[r - 1].arrived)
              .count());
    }
  }
  // Each start follows a full pause; arrival adds only a little jitter on loopback.
  const double span =
      std::chrono::duration<double, std::milli>(requests.back().arrived - requests.front().arrived)
          .count();
  EXPECT_GE(span, (kRows - 1) * kBatchSpacingMs - 50);
  std::sort(gapsMs.begin(), gapsMs.end());
  RecordProperty("median_start_gap_ms", std::to_string(gapsMs[gapsMs.size() / 2]));
  EXPECT_GE(gapsMs[gapsMs.size() / 2], kBatchSpacingMs - 5);
}

TEST_F(BatchTest, SecondClickInsideThePauseRunsAWholeSecondBatch) {
  constexpr int kRows = 3;
  Fill(kRows);
  int nestedBatches = 0;
  QTimer::singleShot(20, [&nestedBatches] {
    ++nestedBatches;
    RunBatch();
  });
  RunBatch();
  EXPECT_EQ(nestedBatches, 1);
  ASSERT_TRUE(PumpUntil([this] { return service_.AnsweredCount() == 2 * kRows; }));
  std::map<std::string, int> perAddress;
  for (const auto& request : service_.Requests()) ++perAddress[request.address];
  for (int row = 0; row < kRows; ++row) EXPECT_EQ(perAddress[Address(row)], 2) << "row " << row;
  ASSERT_TRUE(PumpUntil([] { return GetCellText(kRows - 1, 1) == "for " + Address(kRows - 1); }));
}

TEST_F(BatchTest, ImportDuringAPauseKeepsTheBatchCount) {
  Fill(3);
  // Row 0's answer comes after the refill, so it lands in the new row 0.
  service_.SetAnswer(Address(0), {ShareService::SummaryBody(Address(0)), 300ms});
  // Like an import: the table is cleared and refilled with one row while the batch
  // is between its first and second start.
  QTimer::singleShot(50, [] {
    ClearRows();
    InsertRow(1, "http://new.example/");
  });
  RunBatch();
  ASSERT_TRUE(PumpUntil([this] { return service_.AnsweredCount() == 3; }));
  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  // Row 1 and row 2 no longer exist: their workers read an empty address.
  std::multiset<std::string> addresses;
  for (const auto& request : requests) addresses.insert(request.address);
  EXPECT_EQ(addresses, (std::multiset<std::string>{Address(0), "", ""}));
  EXPECT_EQ(RowCount(), 1);
  ASSERT_TRUE(PumpUntil([] { return GetCellText(0, 1) == "for " + Address(0); }));
  EXPECT_EQ(GetCellText(0, 0), "http://new.example/");
}

// Runs the real start-up in a child process: rows are filled, the start button is
// clicked, and the window is closed `closeAfterMs` later while every probe still
// waits on a service that holds its answers for seconds.
[[noreturn]] void RunAndCloseDuringBatch(int rows, int closeAfterMs) {
  static platform::NoDestructor<ShareService> service(std::size_t{64});  // outlives the event loop
  if (!service->Start()) std::_Exit(3);
  service->SetDefaultAnswer({ShareService::SummaryBody("late"), 3s});
  StartupOptions options;
  options.shown = [rows, closeAfterMs](MainWindow& window) {
    test::Fill(rows, Address);
    auto* start = window.findChild<QPushButton*>(kStartButtonName);
    QTimer::singleShot(0, start, [start] { start->click(); });
    QTimer::singleShot(closeAfterMs, &window, [&window] { window.close(); });
  };
  char name[] = "velmora";
  char* argv[] = {name, nullptr};
  RunApplication(1, argv, options);
}

TEST(BatchShutdown, ClosingWhileWorkersWaitExitsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Closed after every start: the workers are all blocked on the slow service.
  EXPECT_EXIT(RunAndCloseDuringBatch(3, 600), testing::ExitedWithCode(0), "");
  // Closed inside a pause: the batch goes on starting its rows, then the loop ends.
  EXPECT_EXIT(RunAndCloseDuringBatch(6, 150), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velmora
