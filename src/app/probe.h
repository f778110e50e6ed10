// The share-info probe: asks Qzone's share service what it returns for the address
// in one row of the URL table and writes the summary into the row's second column.
#ifndef VELMORA_APP_PROBE_H_
#define VELMORA_APP_PROBE_H_

#include <string_view>

#include "text/text.h"

namespace velmora {

// Host of the share-info endpoint; also the domain item of the probe cookie.
inline constexpr std::string_view kShareHost = "sns.qzone.qq.com";

// "https://" + share host + the endpoint path + `address`, appended byte for byte
// (not encoded, trimmed or checked).
[[nodiscard]] Text ProbeAddress(std::string_view address);
// The three request header lines, each ended by CR LF (140 bytes).
[[nodiscard]] const Text& ProbeHeaders();
// The fixed cookie every probe hands to the request routine (149 bytes plus the
// share host's length).
[[nodiscard]] const Text& ProbeCookie();

// Body of a worker thread: reads column 0 of `row`, fetches the answer, writes the
// text between `summary":"` and the next `",` (ASCII case ignored) into column 1 —
// "" when the request failed or a marker is missing, which clears the cell. Reads
// and writes by index only: a row that is gone reads "" (the request is still sent)
// and the write has no effect. Reports nothing.
void ProbeRow(int row);

}  // namespace velmora

#endif  // VELMORA_APP_PROBE_H_
