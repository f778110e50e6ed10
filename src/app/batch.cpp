#include "app/batch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <system_error>
#include <thread>
#include <utility>

#include "app/probe.h"
#include "table/url_table.h"

namespace velmora {
namespace {

WorkerStart& CustomWorkerStart() {
  static WorkerStart start;
  return start;
}

void StartWorker(int row) {
  if (const WorkerStart& custom = CustomWorkerStart()) {
    custom(row);
    return;
  }
  try {
    std::thread(ProbeRow, row).detach();
  } catch (const std::system_error&) {
    // Out of threads: the row keeps what it showed; the next starts may succeed.
  }
}

}  // namespace

void SetWorkerStart(WorkerStart start) { CustomWorkerStart() = std::move(start); }

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
  const int rows = RowCount();
  for (int row = 0; row < rows; ++row) {
    StartWorker(row);
    PauseWithEvents(kBatchSpacingMs);
  }
}

}  // namespace velmora
