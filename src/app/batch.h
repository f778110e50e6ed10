// The start button's batch run: one probe worker per row, started 100 ms apart,
// while the main thread keeps handling events; and the end of every batch when the
// main window closes.
#ifndef VELMORA_APP_BATCH_H_
#define VELMORA_APP_BATCH_H_

#include <functional>
#include <vector>

namespace velmora {

// Spacing between two worker starts. It is the only pacing of a batch: workers are
// never counted or capped.
inline constexpr int kBatchSpacingMs = 100;

// Click handler of 按钮1: RunBatchRows over rows 0 to RowCount() - 1, the count read
// once at the click. An empty table returns at once. Main thread only.
void RunBatch();

// A batch over exactly `rows`, in their order (indexes are passed on unchecked):
// for each, starts a detached worker running ProbeRow(row), then pauses
// kBatchSpacingMs with event processing (after the last start too). A worker that
// cannot be started is dropped without notice. Empty `rows`: returns at once.
//
// Re-entrant as a click inside a pause always was: a batch begun while another one
// pauses runs to its end first, then the interrupted one resumes its pause and goes
// on. One start loop drives all of them and the later batches wait on a list, so a
// batch begun inside a pause returns at once and nesting costs no stack. Returns
// once every batch it drove has ended or StopBatches() was called. Main thread only.
void RunBatchRows(std::vector<int> rows);

// Ends every batch, for the main window's close: no batch starts another worker,
// and the running start loop returns at its next step (a pause ends at once).
// Workers already started go on. Later batches run as usual. Main thread only.
void StopBatches();

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
