// Start-up and shutdown in a child process: the exit code after the window closes,
// also while workers are still calling table operations; and the fatal error box.
#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "table/search_results.h"
#include "table/url_table.h"

namespace velmora {
namespace {

// How long the window stays up before a test closes it.
constexpr int kCloseAfterMs = 200;

class StartupDeathTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

StartupOptions ClosingSoon(std::function<void(MainWindow&)> more = {}) {
  StartupOptions options;
  options.handlers = {};
  options.shown = [more](MainWindow& window) {
    if (more) more(window);
    QTimer::singleShot(kCloseAfterMs, &window, &QWidget::close);
  };
  return options;
}

TEST_F(StartupDeathTest, ClosingRightAfterStartEndsWithCodeZero) {
  char name[] = "velmora";
  char junk[] = "--no-such-option";
  char* argv[] = {name, junk, nullptr};
  EXPECT_EXIT(RunApplication(2, argv, ClosingSoon([](MainWindow&) {
                               // The search results exist, empty, while the window is up.
                               if (!SearchResults().empty()) std::_Exit(3);
                               if (RowCount() != 1) std::_Exit(4);
                             })),
              testing::ExitedWithCode(0), "");
}

TEST_F(StartupDeathTest, ClosingWhileWorkersCallTheTableEndsWithCodeZero) {
  char name[] = "velmora";
  char* argv[] = {name, nullptr};
  EXPECT_EXIT(RunApplication(1, argv, ClosingSoon([](MainWindow&) {
                               // Never joined, as the batch run's workers; they outlive the window.
                               for (int i = 0; i < 4; ++i) {
                                 std::thread([i] {
                                   for (int n = 0;; ++n) {
                                     InsertRow(-1, "worker" + std::to_string(i));
                                     SetCellText(n, 1, GetCellText(n, 0));
                                     if (RowCount() > 200) ClearRows();
                                   }
                                 }).detach();
                               }
                             })),
              testing::ExitedWithCode(0), "");
}

// A desktop session's usual soft limit of 1,024 open files would cap the probes in
// flight; start-up lifts it to the hard limit before the window shows.
TEST_F(StartupDeathTest, StartUpRaisesTheOpenFileLimitToTheHardLimit) {
  constexpr rlim_t kLowSoftLimit = 256;
  char name[] = "velmora";
  char* argv[] = {name, nullptr};
  EXPECT_EXIT(
      {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(3);
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= kLowSoftLimit) std::_Exit(0);
        limit.rlim_cur = kLowSoftLimit;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(4);
        RunApplication(
            1, argv, ClosingSoon([](MainWindow&) {
              rlimit raised{};
              if (::getrlimit(RLIMIT_NOFILE, &raised) != 0) std::_Exit(5);
              if (raised.rlim_cur <= kLowSoftLimit) std::_Exit(6);
              if (raised.rlim_max != RLIM_INFINITY && raised.rlim_cur != raised.rlim_max) {
                std::_Exit(7);
              }
            }));
      },
      testing::ExitedWithCode(0), "");
}

TEST(FatalPresenterTest, ShowsAnErrorBoxOnTheMainThread) {
  QString shownText;
  QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shownText = box->text();
    shownIcon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  PresentFatalError("out of memory: 123 bytes");
  EXPECT_EQ(shownText, "out of memory: 123 bytes");
  EXPECT_EQ(shownIcon, QMessageBox::Critical);
}

TEST(FatalPresenterTest, OtherThreadsShowNothing) {
  std::atomic<bool> returned{false};
  std::thread([&] {
    PresentFatalError("from a worker");
    returned = true;
  }).join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace velmora
