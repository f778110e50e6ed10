// The window's probe worker: one row of the URL table asked about and answered.
#ifndef VELMORA_APP_PROBE_H_
#define VELMORA_APP_PROBE_H_

#include "probe/probe.h"

namespace velmora {

// Body of a worker thread: reads the address in column 0 of `row`, asks the service
// (ProbeSummary) and writes the summary into column 1 — "" when the request failed
// or a marker is missing, which clears the cell. Reads and writes by index only: a
// row that is gone reads "" (the request is still sent) and the write has no
// effect. Reports nothing.
void ProbeRow(int row);

}  // namespace velmora

#endif  // VELMORA_APP_PROBE_H_
