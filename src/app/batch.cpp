#include "app/batch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>

#include "app/probe.h"
#include "table/url_table.h"

namespace velmora {

void PauseWithEvents(int ms) {
  if (ms <= 0) return;
  QElapsedTimer clock;
  clock.start();
  // The wake-up timer lets the dispatcher sleep between events instead of spinning;
  // it is only a wake-up, the clock decides when the pause is over.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  while (clock.elapsed() <= ms) {
    if (!wake.isActive()) wake.start(static_cast<int>(ms - clock.elapsed()) + 1);
    // processEvents() does not end on a quit request, unlike a nested QEventLoop,
    // so a window closed during the pause leaves the quit to the outer loop.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void RunBatch() {
  std::vector<int> rows(static_cast<std::size_t>(RowCount()));
  std::iota(rows.begin(), rows.end(), 0);
  RunBatchRows(std::move(rows));
}

void RunBatchRows(std::vector<int> rows) {
  for (const int row : rows) {
    try {
      std::thread(ProbeRow, row).detach();
    } catch (const std::system_error&) {
      // Out of threads: the row keeps what it showed; the next starts may succeed.
    }
    PauseWithEvents(kBatchSpacingMs);
  }
}

}  // namespace velmora
