#include "app/batch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdint>
#include <optional>
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

// Dispatches the main thread's events until `clock` has passed `endMs` or `done()`
// holds, whichever comes first.
template <typename Done>
void PauseUntil(const QElapsedTimer& clock, qint64 endMs, Done done) {
  // The wake-up timer lets the dispatcher sleep between events instead of spinning;
  // it is only a wake-up, the clock decides when the pause is over.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  while (clock.elapsed() <= endMs && !done()) {
    if (!wake.isActive()) wake.start(static_cast<int>(endMs - clock.elapsed()) + 1);
    // processEvents() does not end on a quit request, unlike a nested QEventLoop,
    // so a window closed during the pause leaves the quit to the outer loop.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

// One click's batch and where it stands. The rows are a list, or with no list the
// indexes 0 to count - 1, so that a held key over a long table costs no copies.
struct Batch {
  std::optional<std::vector<int>> list;
  int count = 0;
  int next = 0;           // position of the next row to start
  bool pausing = false;   // a start happened and its pause is not over
  qint64 pauseEndMs = 0;  // on the driver's clock
  [[nodiscard]] int RowAt(int position) const {
    return list ? (*list)[static_cast<std::size_t>(position)] : position;
  }
};

// Batches begun and not yet ended; the last one is the one that runs. Only the
// driver below starts workers; a batch begun while it runs just joins the list.
std::vector<Batch> g_batches;
bool g_driving = false;
// Bumped whenever a batch is added or every batch is stopped, so that a pause
// under way gives the new state a turn at once.
std::uint64_t g_changes = 0;

void Drive() {
  g_driving = true;
  QElapsedTimer clock;
  clock.start();
  while (!g_batches.empty()) {
    const std::size_t top = g_batches.size() - 1;
    Batch& batch = g_batches[top];
    if (batch.pausing) {
      if (clock.elapsed() <= batch.pauseEndMs) {
        const std::uint64_t seen = g_changes;
        // The batch may move while events run: only its end time is taken along.
        PauseUntil(clock, batch.pauseEndMs, [seen] { return g_changes != seen; });
        continue;
      }
      batch.pausing = false;
    }
    if (batch.next >= batch.count) {
      g_batches.pop_back();
      continue;
    }
    const int row = batch.RowAt(batch.next++);
    StartWorker(row);
    // The pause follows the start; a recorder may have begun a batch meanwhile.
    if (top < g_batches.size()) {
      g_batches[top].pausing = true;
      g_batches[top].pauseEndMs = clock.elapsed() + kBatchSpacingMs;
    }
  }
  g_driving = false;
}

void Begin(Batch batch) {
  if (batch.count <= 0) return;
  g_batches.push_back(std::move(batch));
  ++g_changes;
  if (!g_driving) Drive();
}

}  // namespace

void SetWorkerStart(WorkerStart start) { CustomWorkerStart() = std::move(start); }

void PauseWithEvents(int ms) {
  if (ms <= 0) return;
  QElapsedTimer clock;
  clock.start();
  PauseUntil(clock, ms, [] { return false; });
}

void RunBatchRows(std::vector<int> rows) {
  Batch batch;
  batch.count = static_cast<int>(rows.size());
  batch.list = std::move(rows);
  Begin(std::move(batch));
}

void RunBatch() {
  Batch batch;
  batch.count = RowCount();
  Begin(std::move(batch));
}

void StopBatches() {
  g_batches.clear();
  ++g_changes;
}

}  // namespace velmora
