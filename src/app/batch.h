// The start button's batch run: one probe worker per row, started 100 ms apart.
#ifndef VELMORA_APP_BATCH_H_
#define VELMORA_APP_BATCH_H_

namespace velmora {

// Click handler of 按钮1. Main thread only.
void RunBatch();

}  // namespace velmora

#endif  // VELMORA_APP_BATCH_H_
