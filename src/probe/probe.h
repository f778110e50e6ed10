// The share-info probe without a window: the request that asks Qzone's share service
// what it returns for one address, and the summary cut out of its answer. The
// window's worker (ProbeRow) and the command-line program both build on it, so the
// request bytes, the cookies and the cut are the same for both.
#ifndef VELMORA_PROBE_PROBE_H_
#define VELMORA_PROBE_PROBE_H_

#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"
#include "web/fetch.h"

namespace velmora {

// Host of the share-info endpoint; also the domain item of the probe cookie.
inline constexpr std::string_view kShareHost = "sns.qzone.qq.com";

// The service answers with a JSON-like body; the summary is cut out by these
// markers rather than parsed, so escapes inside it stay as they came.
inline constexpr std::string_view kSummaryStart = "summary\":\"";
inline constexpr std::string_view kSummaryEnd = "\",";

// "https://" + share host + the endpoint path + `address`, appended byte for byte
// (not encoded, trimmed or checked).
[[nodiscard]] Text ProbeAddress(std::string_view address);
// The three request header lines, each ended by CR LF (140 bytes).
[[nodiscard]] const Text& ProbeHeaders();
// The fixed cookie every probe hands to the request routine (149 bytes plus the
// share host's length).
[[nodiscard]] const Text& ProbeCookie();

// The text between `summary":"` and the next `",` of a decoded answer, markers
// found ignoring ASCII case, the first start marker counting. "" when either marker
// is missing. Escapes stay as they came; a summary holding `",` ends there.
[[nodiscard]] Text SummaryOf(const Text& answer);

// Asks the service about `address` (sent byte for byte after "url="), with the
// probe's header block and cookie, redirects followed and the 15 s default limits;
// returns SummaryOf the decoded answer, "" when the request failed. Reads and
// writes the process's cookie store like every request. Any thread; reports
// nothing.
[[nodiscard]] Text ProbeSummary(const Text& address);

// What one probe exchange gave back, undecoded.
struct ProbeAnswer {
  Bytes body;  // "" when no answer came
  ExchangeOutcome outcome;
  Text responseHeaders;  // the final answer's header lines ("" when none came)
};

// The probe's exchange itself: the request ProbeSummary sends (same address, header
// block, cookie and cookie store), with `timeoutSeconds` as the request routine
// takes it (0: 15 s per phase), and the raw answer with its status. Any thread.
[[nodiscard]] ProbeAnswer ProbeExchange(const Text& address, int timeoutSeconds);

// The summary of a UTF-8 answer, in UTF-8, keeping every character the service sent
// (also those code page 936 lacks). It is cut where the window cuts the same answer
// after decoding it (same markers, same case rule, the window's character steps),
// so DecodeUtf8ToAnsi of the result equals SummaryOf(DecodeUtf8ToAnsi(answer)).
// The answer ends at its first zero byte; each malformed UTF-8 sequence (maximal
// subpart) comes out as U+FFFD, so the result is always valid UTF-8. nullopt when
// either marker is missing; "" for an empty summary between present markers.
[[nodiscard]] std::optional<std::string> Utf8SummaryOf(const Bytes& answer);

}  // namespace velmora

#endif  // VELMORA_PROBE_PROBE_H_
