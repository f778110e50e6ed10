// The start button's batch run: one probe worker per row, started 100 ms apart,
// while the main thread keeps handling events.
#ifndef VELMORA_APP_BATCH_H_
#define VELMORA_APP_BATCH_H_

#include <functional>

namespace velmora {

// Spacing between two worker starts. It is the only pacing of a batch: workers are
// never counted or capped.
inline constexpr int kBatchSpacingMs = 100;

// Click handler of 按钮1. Reads RowCount() once, then for each row starts a
// detached worker running ProbeRow(row) and pauses kBatchSpacingMs with event
// processing (after the last start too). An empty table returns at once. A worker
// that cannot be started is dropped without notice. Main thread only.
void RunBatch();

// What a batch does to start the worker of one row, on the main thread. The default
// (an empty function) starts a detached thread running ProbeRow(row); a start that
// fails is dropped. Tests put a recorder here.
using WorkerStart = std::function<void(int row)>;
void SetWorkerStart(WorkerStart start);

// Waits at least `ms` milliseconds on the main thread while dispatching its pending
// events (worker calls to the URL table included); returns at once for ms <= 0.
// A quit requested meanwhile is left for the outer event loop, which ends once the
// handler that paused has returned. Re-entrant: a handler run inside the pause may
// pause again.
void PauseWithEvents(int ms);

}  // namespace velmora

#endif  // VELMORA_APP_BATCH_H_
